// Prints the hardware survey document of this machine and, with --post, sends it
// to a survey endpoint the way the launcher does, reporting the endpoint's answer.

#include "systemsurvey/systemsurveyuploader.h"

#include "shared/systemproxies.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

using namespace systemsurvey;

namespace {

// Screens are only known with a display; without one the survey has no monitors
// rather than the made-up screen of a virtual platform.
std::unique_ptr<QCoreApplication> makeApplication(int& nArgc, char** ppArgv)
{
    const bool bDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                       || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (bDisplay)
        return std::make_unique<QGuiApplication>(nArgc, ppArgv);
    return std::make_unique<QCoreApplication>(nArgc, ppArgv);
}

} // namespace

int main(int nArgc, char** ppArgv)
{
    const auto pApplication = makeApplication(nArgc, ppArgv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-survey"));
    shared::useSystemProxies();

    QCommandLineParser oParser;
    oParser.setApplicationDescription(QStringLiteral("Prints this machine's hardware survey document."));
    oParser.addHelpOption();
    const QCommandLineOption oPost(QStringLiteral("post"), QStringLiteral("Also post the document to <url>."),
                                   QStringLiteral("url"));
    oParser.addOption(oPost);
    oParser.process(*pApplication);

    auto pDocumentCreator = std::make_shared<TSystemSurveyAsJsonDocumentCreator>(
        std::make_shared<TSystemSurveyCreator>(std::make_shared<TSystemSurveyValueRetriever>()),
        std::make_shared<TSystemSurveyToJsonConverter>());
    QTextStream oOut(stdout);
    QTextStream oErr(stderr);
    if (!oParser.isSet(oPost)) {
        oOut << pDocumentCreator->createDocument().toJson(QJsonDocument::Indented);
        return 0;
    }

    const QUrl oUrl = QUrl::fromUserInput(oParser.value(oPost));
    if (!oUrl.isValid()) {
        oErr << "Not a valid URL: " << oParser.value(oPost) << '\n';
        return 2;
    }

    // The document is printed as sent: the uploader gathers it itself.
    class TPrintingDocumentCreator : public TSystemSurveyAsJsonDocumentCreator
    {
    public:
        TPrintingDocumentCreator(std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> pInner, QTextStream& oOutput)
            : TSystemSurveyAsJsonDocumentCreator(nullptr, nullptr), m_pInner(std::move(pInner)), m_oOutput(oOutput)
        {
        }
        QJsonDocument createDocument() const override
        {
            const QJsonDocument oDocument = m_pInner->createDocument();
            m_oOutput << oDocument.toJson(QJsonDocument::Indented);
            m_oOutput.flush();
            return oDocument;
        }

    private:
        std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> m_pInner;
        QTextStream& m_oOutput;
    };

    TSystemSurveyUploader oUploader(oUrl, std::make_shared<TPrintingDocumentCreator>(pDocumentCreator, oOut),
                                    std::make_shared<shared::TJsonDocumentHttpPostSender>());
    int nExitCode = 1;
    QObject::connect(&oUploader, &TSystemSurveyUploader::finished, pApplication.get(),
                     [&](bool bSuccessful, const QJsonDocument& oReply) {
                         if (bSuccessful) {
                             oErr << "Accepted: " << oReply.toJson(QJsonDocument::Compact) << '\n';
                             nExitCode = 0;
                         } else {
                             oErr << "Failed (" << oUploader.lastErrorCode() << "): " << oUploader.lastErrorMessage()
                                  << '\n';
                         }
                         QCoreApplication::quit();
                     });
    oUploader.startUpload();
    QCoreApplication::exec();
    return nExitCode;
}
