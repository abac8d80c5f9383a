// Draws every picture of the launcher: splashes, window background, buttons,
// icons, package logos, the small parts of the hint area, the launcher's own
// icon for the desktop's menu, and in demo-hints/ the hint pictures the
// screenshot script serves. The files under
// launcher/resources are its output; run it again after changing a picture:
//   QT_QPA_PLATFORM=offscreen corvane-draw-images launcher/resources/images/launcher

#include "drawing.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

using namespace drawimages;

int main(int nArgc, char** ppArgv)
{
    QGuiApplication oApplication(nArgc, ppArgv);
    const QStringList lArguments = oApplication.arguments();
    if (lArguments.size() != 2) {
        QTextStream(stderr) << "usage: corvane-draw-images OUTDIR\n";
        return 2;
    }
    const QDir oOut(lArguments.at(1));
    std::vector<std::pair<QString, QImage>> lPictures = {
        {QStringLiteral("LauncherLogo_QT.png"), drawSplash(QStringLiteral("Loading"))},
        {QStringLiteral("LauncherLogo_UpdatingLauncher.png"), drawSplash(QStringLiteral("Updating the launcher"))},
        {QStringLiteral("CorvaneLogo_LaunchingClient.png"), drawSplash(QStringLiteral("Starting the game"))},
    };
    addWindowPictures(lPictures);
    for (const int nSize : {48, 128, 256})
        lPictures.emplace_back(QStringLiteral("AppIcon_%1.png").arg(nSize), drawAppIcon(nSize));
    std::vector<std::pair<QString, QImage>> lHints;
    addDemoHintPictures(lHints);
    for (auto& [sName, oImage] : lHints)
        lPictures.emplace_back(QStringLiteral("demo-hints/") + sName, std::move(oImage));
    if (!oOut.mkpath(QStringLiteral("demo-hints"))) {
        QTextStream(stderr) << "cannot create " << oOut.filePath(QStringLiteral("demo-hints")) << '\n';
        return 1;
    }
    for (const auto& [sName, oImage] : lPictures) {
        const QString sPath = oOut.filePath(sName);
        const bool bJpeg = sName.endsWith(QLatin1String(".jpg"));
        if (!oImage.save(sPath, bJpeg ? "JPG" : "PNG", bJpeg ? 82 : -1)) {
            QTextStream(stderr) << "cannot write " << sPath << '\n';
            return 1;
        }
    }
    return 0;
}
