// The mending half of a package installation: a file that the downloader built
// partly from bytes kept on the disk and that then failed its check was kept on
// the word of a description (or of a scan) that was not the truth. Each such
// file is checked again chunk by chunk, at the places the build left every
// chunk in, and what is missing is fetched in a second round of the same run.

#include "packageinstallation.h"

#include "chunkreuse.h"
#include "filehashmismatch.h"
#include "launcher/documents/package.h"
#include "packagefiledownloader.h"

#include "shared/confinedfolder.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <algorithm>

namespace velmar::launcher {

void TPackageInstallation::startRecheck(const std::vector<QString>& lLocalFiles)
{
    if (m_bRechecked) {
        // Its kept bytes were checked one by one just before: the documents are wrong.
        const QString sMessage = QString::fromUtf8(TFileHashMismatch(lLocalFiles.front()).what());
        qCritical() << sMessage;
        failStep(VerificationFailed, sMessage);
        emit downloadFinished(m_pPackage);
        return;
    }
    m_bRechecked = true;
    std::vector<TFileToDownload> lFiles;
    for (const TFileToDownload& oFile : m_lFilesToDownload) {
        if (std::find(lLocalFiles.begin(), lLocalFiles.end(), oFile.m_sLocalFile) != lLocalFiles.end())
            lFiles.push_back(oFile);
    }
    qWarning() << lFiles.size() << "files built with bytes kept from the disk do not match their hash; they are checked again";
    auto* pWatcher = new QFutureWatcher<TPackageDifference>(this);
    connect(pWatcher, &QFutureWatcher<TPackageDifference>::finished, this, [this, pWatcher] {
        pWatcher->deleteLater();
        onRecheckDone(pWatcher->result());
    });
    const std::shared_ptr<shared::TConfinedFolder> pFolder = workFolder();
    const QFuture<TPackageDifference> oFuture = QtConcurrent::run([this, pFolder, lFiles]() mutable {
        TPackageDifference oResult;
        try {
            for (TFileToDownload& oFile : lFiles) {
                const QString sPath = oFile.m_sStagingFile.isEmpty() ? oFile.m_sLocalFile : oFile.m_sStagingFile;
                recheckRecordsInPlace(*pFolder, sPath, oFile, m_oInterruption);
                // Every chunk sound in its place, and still the whole is wrong.
                if (oFile.m_lPositionsToWrite.empty()) {
                    oResult.m_sError = QString::fromUtf8(TFileHashMismatch(oFile.m_sLocalFile).what());
                    return oResult;
                }
                oResult.m_lFilesToDownload.push_back(std::move(oFile));
            }
        } catch (const std::exception& oError) {
            oResult.m_sDiskError = QString::fromUtf8(oError.what());
        }
        return oResult;
    });
    m_lTasks.push_back(oFuture);
    pWatcher->setFuture(oFuture);
}

void TPackageInstallation::onRecheckDone(TPackageDifference oResult)
{
    if (!oResult.m_sDiskError.isEmpty()) {
        emit diskAccessFailed(oResult.m_sDiskError);
        return;
    }
    if (!oResult.m_sError.isEmpty()) {
        qCritical() << oResult.m_sError;
        failStep(VerificationFailed, oResult.m_sError);
        emit downloadFinished(m_pPackage);
        return;
    }
    m_lFilesToDownload = std::move(oResult.m_lFilesToDownload);
    try {
        handOverFilesToDownload();
        m_pDownloader->startDownload();
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
    }
}

} // namespace velmar::launcher
