#pragma once

// One launcher folder with its settings file, and a metadata handler on a
// download pool of its own, its outcomes recorded.

#include "testfiles.h"
#include "testpool.h"

#include "launcher/documents/launcherconfigurationhandler.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TConfigurationFixture
{
public:
    // The settings file holds aIni (there is none when it is null); sState keeps
    // the serial of signed metadata (empty: the player's own state).
    explicit TConfigurationFixture(const QByteArray& aIni, const QString& sState = QString())
        : m_pHelper(helper(m_oFolder, aIni))
        , m_oHandler(m_pPool, m_pHelper, velmar::launcher::TTrustedKeys(), sState)
    {
    }

    QString path(const QString& sRelative) const { return m_oFolder.filePath(sRelative); }
    int outcomes() const { return m_oLoaded.size() + m_oFailed.size() + m_oRefused.size() + m_oDiskFailed.size(); }
    std::shared_ptr<const velmar::launcher::TPackageConfigurationReader> configuration(size_t nIndex) const
    {
        return m_oHandler.launcherConfiguration()->packages().at(nIndex)->platformBuild()->configuration();
    }
    // Loads the metadata and, when it loads, the package documents.
    void load()
    {
        m_oHandler.startLoadingMainConfiguration();
        QTRY_COMPARE_WITH_TIMEOUT(outcomes(), 1, 20000);
        if (m_oLoaded.isEmpty())
            return;
        m_oHandler.downloadPackageConfigurations();
        QTRY_COMPARE_WITH_TIMEOUT(m_oFinished.size(), 1, 20000);
    }

    using THandler = velmar::launcher::TLauncherConfigurationHandler;
    QTemporaryDir m_oFolder;
    std::shared_ptr<velmar::launcher::TLauncherFilesystemHelper> m_pHelper;
    std::shared_ptr<shared::TDownloadPool> m_pPool = newTestPool();
    THandler m_oHandler;
    QSignalSpy m_oLoaded{&m_oHandler, &THandler::mainConfigurationLoaded};
    QSignalSpy m_oFailed{&m_oHandler, &THandler::mainConfigurationDownloadFailed};
    QSignalSpy m_oRefused{&m_oHandler, &THandler::mainConfigurationRefused};
    QSignalSpy m_oDiskFailed{&m_oHandler, &THandler::diskAccessFailed};
    QSignalSpy m_oFinished{&m_oHandler, &THandler::packageConfigurationDownloadsFinished};

private:
    static std::shared_ptr<velmar::launcher::TLauncherFilesystemHelper> helper(const QTemporaryDir& oFolder,
                                                                              const QByteArray& aIni)
    {
        if (!aIni.isNull())
            writeTestFile(oFolder.filePath(QStringLiteral("launchersettings.ini")), aIni);
        return std::make_shared<velmar::launcher::TLauncherFilesystemHelper>(oFolder.path());
    }
};
