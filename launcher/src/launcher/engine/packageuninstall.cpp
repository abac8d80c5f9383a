#include "packageuninstall.h"

#include "installationmanager.h"
#include "launcher/documents/launchersettings.h"
#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"

#include "shared/confinedfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace velmar::launcher {

TPackageUninstall::TPackageUninstall(QString sFolder, const TLauncherSettings& oSettings)
    : m_sFolder(QDir::cleanPath(std::move(sFolder)))
    , m_lMarkers{oSettings.packageFile(), oSettings.partialPackageFile(), oSettings.assetFile()}
    , m_lReserved(reservedFileNames(oSettings))
{
}

bool TPackageUninstall::plan()
{
    m_lFiles.clear();
    m_nBytes = 0;
    QSet<QString> hListed;
    bool bAnyMarker = false;
    for (const QString& sMarker : qAsConst(m_lMarkers)) {
        QFile oMarker(QDir(m_sFolder).filePath(sMarker));
        if (!oMarker.exists())
            continue;
        bAnyMarker = true;
        if (!oMarker.open(QIODevice::ReadOnly)) {
            m_sError = QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(oMarker.fileName()), oMarker.errorString());
            return false;
        }
        // The documents name files only; their addresses do not matter here.
        const QUrl oBase = QUrl::fromLocalFile(m_sFolder + QLatin1Char('/'));
        const TPackageConfigurationReader oReader(oMarker.readAll(), QByteArray(), oBase, oBase);
        if (!oReader.isValid()) {
            m_sError = QStringLiteral("%1 is no package document.").arg(QDir::toNativeSeparators(oMarker.fileName()));
            return false;
        }
        for (const TFileDescription& oFile : oReader.files())
            hListed.insert(oFile.localFile());
    }
    if (!bAnyMarker) {
        m_sError = QStringLiteral("Nothing is installed in %1.").arg(QDir::toNativeSeparators(m_sFolder));
        return false;
    }
    for (const QString& sFile : qAsConst(hListed)) {
        if (!isSafeRelativePath(sFile) || isReservedPath(sFile, m_lReserved) || !pathProblem(m_sFolder, sFile).isEmpty())
            continue;
        const QFileInfo oInfo(QDir(m_sFolder).filePath(sFile));
        // A folder where a file was listed is someone else's.
        if (!oInfo.isSymLink() && !oInfo.isFile())
            continue;
        m_lFiles << sFile;
        if (!oInfo.isSymLink())
            m_nBytes += shared::TFileSize(oInfo.size());
    }
    std::sort(m_lFiles.begin(), m_lFiles.end());
    return true;
}

bool TPackageUninstall::run()
{
    const QDir oFolder(m_sFolder);
    QSet<QString> hParents;
    try {
        // Held like an install holds it: an install or update at work in the
        // folder is not undercut, and no link swapped in leads the deletions out.
        shared::TConfinedFolder oHeld(m_sFolder);
        if (!oHeld.tryLock()) {
            m_sError = TInstallationManager::folderInUseMessage(QFileInfo(m_sFolder).fileName());
            return false;
        }
        // Gone already (an uninstall broken off before) is as good as deleted.
        for (const QString& sFile : qAsConst(m_lFiles)) {
            oHeld.removeFile(sFile);
            for (QString sParent = QFileInfo(sFile).path(); sParent != QLatin1String("."); sParent = QFileInfo(sParent).path())
                hParents.insert(sParent);
        }
        // The bytes of chunks a run left partly received are the package's too.
        oHeld.removePath(partialChunksFolder());
        // The documents and the launcher's "default" marker: every name the
        // launcher writes into a package folder of its own.
        for (const QString& sMarker : qAsConst(m_lReserved))
            oHeld.removeFile(sMarker);
    } catch (const std::runtime_error& oError) {
        m_sError = QString::fromUtf8(oError.what());
        return false;
    }
    // Deepest first, so that a folder emptied by its subfolders' going goes too;
    // rmdir leaves every folder that still holds anything.
    QStringList lParents(hParents.cbegin(), hParents.cend());
    std::sort(lParents.begin(), lParents.end(),
              [](const QString& sLeft, const QString& sRight) { return sLeft.count(QLatin1Char('/')) > sRight.count(QLatin1Char('/')); });
    for (const QString& sParent : qAsConst(lParents))
        oFolder.rmdir(sParent);
    QDir().rmdir(m_sFolder);
    return true;
}

} // namespace velmar::launcher
