// A package folder under pressure: another program changing it at the same
// time, a full disk, folders swapped for links (file operations that fail:
// tst_filefaults). The engine must refuse, fail with a reason that names the
// file, or finish; never claim a version the folder does not hold.

#include "installbed.h"
#include "onepackagelauncher.h"
#include "testseams.h"

#include "launcher/engine/installationmanager.h"
#include "launcher/documents/package.h"
#include "launcher/engine/packageinstallation.h"

#include "shared/confinedfolder.h"

#include <QLocale>
#include <QScopeGuard>
#include <QSignalSpy>

using namespace velmar::launcher;

class tst_PackageFolder : public QObject
{
    Q_OBJECT

private slots:
    void secondRunOnOneFolderIsRefused();
    void busyFolderEndsTheLaunchersRequestAtOnce();
    void fullDisk();
    void folderSwappedForALinkMidway();
};

void tst_PackageFolder::secondRunOnOneFolderIsRefused()
{
    CORVANE_SKIP_WITHOUT_SEAM("held steps (CORVANE_STOP_AT)");
    TInstallBed oBed;
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\n", true);
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(9 << 20, 1));
    QVERIFY2(oBed.serve() && oBed.publish(QStringLiteral("1")).nExitCode == 0, qPrintable(oBed.nginx().errorString()));
    QCOMPARE(oBed.install(QStringLiteral("install")).nExitCode, 0);
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(9 << 20, 2));
    const TPublishedVersion oTwo = oBed.publishVersion(QStringLiteral("2"));
    QVERIFY(!oTwo.m_aPackage.isEmpty());

    // The first update holds still in the middle of its work: its chunks are
    // written, its markers do not tell of them yet.
    QProcess oFirst;
    QString sFirstErr;
    QVERIFY2(oBed.startHeld(oFirst, QStringLiteral("update"), QStringLiteral("download-done"), sFirstErr), qPrintable(sFirstErr));

    const auto hBefore = treeState(oBed.folder());
    for (const QString& sCommand : {QStringLiteral("install"), QStringLiteral("update"), QStringLiteral("verify")}) {
        const TToolRun oRun = oBed.install(sCommand);
        QVERIFY2(oRun.nExitCode == 1, qPrintable(sCommand + QLatin1Char(' ') + oRun.describe()));
        QVERIFY2(oRun.sErr.contains(QLatin1String("live is being changed by another program. Try again when it has finished.")),
                 qPrintable(oRun.sErr));
        QVERIFY2(treeState(oBed.folder()) == hBefore, qPrintable(sCommand));
    }

    oFirst.write("\n");
    QVERIFY(oFirst.waitForFinished(120000));
    sFirstErr += QString::fromUtf8(oFirst.readAllStandardError());
    QVERIFY2(oFirst.exitStatus() == QProcess::NormalExit && oFirst.exitCode() == 0, qPrintable(sFirstErr));
    QVERIFY2(oBed.notInstalled(oTwo).isEmpty(), qPrintable(oBed.notInstalled(oTwo)));
}

// In the launcher a request on a folder another program changes ends at once,
// with the box's reason, and changes nothing.
void tst_PackageFolder::busyFolderEndsTheLaunchersRequestAtOnce()
{
    TOnePackageLauncher oOne;
    const auto& [oLauncher, pHelper, pMetadata, pPackage, sFolder] = oOne;
    QVERIFY(writeTestFile(sFolder + QStringLiteral("/partial-package.json"), "{\"version\": \"0.9\", \"files\": []}"));
    // Another program's lock: the folder's own, taken first.
    shared::TConfinedFolder oLock(sFolder);
    QVERIFY(oLock.tryLock());

    TInstallationManager oManager(pMetadata, pHelper);
    QSignalSpy oFinished(&oManager, &TInstallationManager::installationOrUpdateFinished);
    const auto hBefore = treeState(oLauncher.path());
    oManager.installOrUpdatePackage(pPackage);
    oManager.verifyPackage(pPackage);
    QCOMPARE(oFinished.count(), 2);
    for (const QList<QVariant>& lArguments : oFinished) {
        const auto pInstallation = lArguments.first().value<std::shared_ptr<TPackageInstallation>>();
        QVERIFY(!pInstallation->succeeded());
        QCOMPARE(pInstallation->errorReason(), FolderInUse);
        QCOMPARE(pInstallation->errorMessage(),
                 QStringLiteral("Client 0 is being changed by another program. Try again when it has finished."));
    }
    QVERIFY(treeState(oLauncher.path()) == hBefore);
    QCOMPARE(pPackage->localPackageStatus(), PartiallyInstalled);
    QVERIFY(!oManager.hasRunningInstallations());
}

// A real full disk: a request that cannot fit is refused before anything is
// written; one that fits by the sizes alone fails where the disk runs out, names
// the file and the reason, and resumes once there is room; an update that only
// fits once the files it drops are gone goes through.
void tst_PackageFolder::fullDisk()
{
    TInstallBed oBed;
    // A file system of a few MiB on the install folder, unmounted when the test ends.
    const QString sDisk = oBed.path(QStringLiteral("install"));
    bool bMounted = false;
    const auto oUnmount = qScopeGuard([&] {
        if (bMounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("--lazy"), sDisk});
    });
    const auto fnMount = [&](int nKibibytes) {
        const QStringList lArguments{QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                     QStringLiteral("%1size=%2k").arg(bMounted ? QStringLiteral("remount,") : QString()).arg(nKibibytes),
                                     QStringLiteral("tmpfs"), sDisk};
        const bool bDone = QDir().mkpath(sDisk) && QProcess::execute(QStringLiteral("mount"), lArguments) == 0;
        bMounted |= bDone;
        return bDone;
    };
    if (!fnMount(4096))
        QSKIP("a tmpfs cannot be mounted here (it needs root)");
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\n", true);
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(9 << 20, 1));
    QVERIFY2(oBed.serve() && oBed.publish(QStringLiteral("1")).nExitCode == 0, qPrintable(oBed.nginx().errorString()));

    // 4 MiB for 9 MiB: refused at once, with both figures.
    const QLocale oEnglish(QLocale::English);
    TToolRun oRun = oBed.install(QStringLiteral("install"));
    QVERIFY2(oRun.nExitCode == 1, qPrintable(oRun.describe()));
    QVERIFY2(oRun.sErr.contains(QStringLiteral("needs at least %1 bytes more, and %2 bytes are free")
                                    .arg(oEnglish.toString((9 << 20) + 10), oEnglish.toString(4 << 20))),
             qPrintable(oRun.sErr));
    QVERIFY(oBed.fetchedChunks().isEmpty());
    QVERIFY(QDir(oBed.folder()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));

    // Room for the bytes, not for the markers and the last pages: the write that
    // finds the disk full says so, and the folder claims no finished install.
    QVERIFY(fnMount(9 * 1024 + 8));
    oRun = oBed.install(QStringLiteral("install"));
    QVERIFY2(oRun.nExitCode == 1, qPrintable(oRun.describe()));
    QVERIFY2(oRun.sErr.contains(QLatin1String("No space left on device")), qPrintable(oRun.sErr));
    QVERIFY2(oRun.sErr.contains(oBed.folder()), qPrintable(oRun.sErr));
    QVERIFY(!QFileInfo::exists(oBed.folder() + QStringLiteral("/package.json")));
    QVERIFY(fnMount(12 * 1024));
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install")), 0);
    QVERIFY(oBed.installedAsPublished());

    // Version 2 drops the 9 MiB file for another: it fits once the old one is gone.
    QFile::remove(oBed.source() + QStringLiteral("/data/world.pak"));
    oBed.writeSource(QStringLiteral("data/other.pak"), noiseBytes(9 << 20, 2));
    QVERIFY(oBed.publish(QStringLiteral("2")).nExitCode == 0);
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("update")), 0);
    QVERIFY(oBed.installedAsPublished());
}

// A folder of the package swapped for a link to another place while an install
// writes: nothing lands in that place. The link then refuses the next run until
// it is gone; the install then finishes.
void tst_PackageFolder::folderSwappedForALinkMidway()
{
    CORVANE_SKIP_WITHOUT_SEAM("held steps (CORVANE_STOP_AT)");
    TInstallBed oBed;
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\n", true);
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(9 << 20, 1));
    oBed.writeSource(QStringLiteral("data/music.ogg"), noiseBytes(9 << 20, 2));
    oBed.writeSource(QStringLiteral("data/a.txt"), "a\n");
    QVERIFY2(oBed.serve() && oBed.publish(QStringLiteral("1")).nExitCode == 0, qPrintable(oBed.nginx().errorString()));
    const QString sElsewhere = oBed.path(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(sElsewhere));

    QProcess oRun;
    QString sErr;
    QVERIFY2(oBed.startHeld(oRun, QStringLiteral("install"), QStringLiteral("chunk-written"), sErr), qPrintable(sErr));
    // A folder the install has made by now; its files may all be written and
    // checked already, which must not pass for a sound install either.
    QString sData = oBed.folder() + QStringLiteral("/data");
    if (!QFileInfo::exists(sData))
        sData = oBed.folder() + QStringLiteral("/bin");
    QVERIFY(QFile::rename(sData, sData + QStringLiteral(".real")));
    QVERIFY(QFile::link(sElsewhere, sData));
    oRun.write("\n");
    QVERIFY(oRun.waitForFinished(120000));
    sErr += QString::fromUtf8(oRun.readAllStandardError());
    QVERIFY(QDir(sElsewhere).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden));
    QVERIFY2(oRun.exitStatus() == QProcess::NormalExit && oRun.exitCode() == 1, qPrintable(sErr));
    QVERIFY(!QFileInfo::exists(oBed.folder() + QStringLiteral("/package.json")));

    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install")), 1);
    QVERIFY(QDir(sElsewhere).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden));

    QVERIFY(QFile::remove(sData));
    QVERIFY(QFile::rename(sData + QStringLiteral(".real"), sData));
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install")), 0);
    QVERIFY(oBed.installedAsPublished());

    // The account group kept beside the packages is copied into a sound
    // client's folder, never through a link.
    QVERIFY(writeTestFile(oBed.path(QStringLiteral("install/accountgroup.json")), "{\"group\": 1}"));
    const QString sClientData = oBed.folder() + QStringLiteral("/CorvaneOnlineClient_Data");
    QVERIFY(QDir().mkpath(sElsewhere + QStringLiteral("/Data/Settings")));
    QVERIFY(QFile::link(sElsewhere, sClientData));
    QCOMPARE(oBed.install(QStringLiteral("install")).nExitCode, 0);
    QVERIFY(QDir(sElsewhere + QStringLiteral("/Data/Settings")).isEmpty());
    QVERIFY(QFile::remove(sClientData));
    QCOMPARE(oBed.install(QStringLiteral("install")).nExitCode, 0);
    QCOMPARE(readTestFile(sClientData + QStringLiteral("/Data/Settings/accountgroup.json")), QByteArray("{\"group\": 1}"));
}

QTEST_GUILESS_MAIN(tst_PackageFolder)
#include "tst_packagefolder.moc"
