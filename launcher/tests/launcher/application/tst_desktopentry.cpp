// corvane-launcher --install-desktop-entry and --help: run without a display,
// a network or the single-instance claim (another launcher of the same folder
// holds it meanwhile), write an entry that desktop-file-validate accepts and
// whose commands start exactly this launcher, and icons of their stated sizes.

#include "testfiles.h"
#include "testpaths.h"

#include "launcher/documents/launcherversion.h"

#include "shared/firstinstancetester.h"

#include <QImage>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using TDesktopGroups = QMap<QString, QMap<QString, QString>>;

// Groups and keys of a desktop entry, values as written.
TDesktopGroups readDesktopEntry(const QString& sPath)
{
    TDesktopGroups hGroups;
    QString sGroup;
    for (const QString& sLine : QString::fromUtf8(readTestFile(sPath)).split(QLatin1Char('\n'))) {
        if (sLine.startsWith(QLatin1Char('[')) && sLine.endsWith(QLatin1Char(']')))
            sGroup = sLine.mid(1, sLine.size() - 2);
        else if (sLine.contains(QLatin1Char('=')))
            hGroups[sGroup].insert(sLine.section(QLatin1Char('='), 0, 0), sLine.section(QLatin1Char('='), 1));
    }
    return hGroups;
}

// The arguments an Exec value stands for: string escapes first, then quoting,
// as a desktop reads them.
QStringList execArguments(const QString& sValue)
{
    QString sText;
    for (int nAt = 0; nAt < sValue.size(); ++nAt) {
        const bool bEscaped = sValue[nAt] == QLatin1Char('\\') && nAt + 1 < sValue.size();
        const QChar cAt = bEscaped ? sValue[++nAt] : sValue[nAt];
        sText += bEscaped && cAt == QLatin1Char('s') ? QChar(' ') : cAt;
    }
    // Empty arguments are dropped: the entries we write have none.
    QStringList lArguments{QString()};
    bool bQuoted = false;
    for (int nAt = 0; nAt < sText.size(); ++nAt) {
        const QChar cAt = sText[nAt];
        if (cAt == QLatin1Char(' ') && !bQuoted)
            lArguments << QString();
        else if (cAt == QLatin1Char('"'))
            bQuoted = !bQuoted;
        else
            lArguments.last() += bQuoted && cAt == QLatin1Char('\\') && nAt + 1 < sText.size() ? sText[++nAt] : cAt;
    }
    lArguments.removeAll(QString());
    return lArguments.replaceInStrings(QStringLiteral("%%"), QStringLiteral("%"));
}

struct TLauncherRun
{
    int m_nExitCode = -1;
    QString m_sOut;
    QString m_sErr;
};

// Runs the launcher with neither display nor platform plugin named; sDataHome
// null leaves XDG_DATA_HOME unset.
TLauncherRun runLauncher(const QString& sProgram, const QStringList& lArguments, const QString& sHome, const QString& sDataHome)
{
    QProcessEnvironment oEnvironment = QProcessEnvironment::systemEnvironment();
    for (const char* pName : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME"})
        oEnvironment.remove(QString::fromLatin1(pName));
    oEnvironment.insert(QStringLiteral("HOME"), sHome);
    if (!sDataHome.isNull())
        oEnvironment.insert(QStringLiteral("XDG_DATA_HOME"), sDataHome);
    QProcess oProcess;
    oProcess.setProcessEnvironment(oEnvironment);
    oProcess.start(sProgram, lArguments);
    const bool bExited = oProcess.waitForFinished(60000) && oProcess.exitStatus() == QProcess::NormalExit;
    return {bExited ? oProcess.exitCode() : -1, QString::fromUtf8(oProcess.readAllStandardOutput()),
            QString::fromUtf8(oProcess.readAllStandardError())};
}

} // namespace

class tst_DesktopEntry : public QObject
{
    Q_OBJECT

private slots:
    void entryStartsThisLauncher_data();
    void entryStartsThisLauncher();
    void helpNamesEveryOption();
};

void tst_DesktopEntry::entryStartsThisLauncher_data()
{
    QTest::addColumn<QString>("sFolder");
    // Below the test's folder when it starts with a slash; null: unset.
    QTest::addColumn<QString>("sDataHome");
    // Where the files must land, relative to the test's folder.
    QTest::addColumn<QString>("sLanded");
    QTest::newRow("XDG_DATA_HOME, a folder name a shell would split")
        << QStringLiteral("my \"games\" $HOME 100% `x`") << QStringLiteral("/data") << QStringLiteral("data");
    QTest::newRow("no XDG_DATA_HOME") << QStringLiteral("launcher") << QString() << QStringLiteral("home/.local/share");
    QTest::newRow("relative XDG_DATA_HOME") << QStringLiteral("launcher") << QStringLiteral("relative")
                                            << QStringLiteral("home/.local/share");
}

void tst_DesktopEntry::entryStartsThisLauncher()
{
    QFETCH(QString, sFolder);
    QFETCH(QString, sDataHome);
    QFETCH(QString, sLanded);
    QTemporaryDir oRoot;
    const QString sLauncherFolder = oRoot.filePath(sFolder);
    const QString sLauncher = sLauncherFolder + QStringLiteral("/corvane-launcher");
    QVERIFY(QDir().mkpath(sLauncherFolder) && QFile::copy(builtExecutable(QStringLiteral("corvane-launcher")), sLauncher));
    // Another launcher of this folder runs: the entry is written all the same.
    shared::FirstInstanceTester oRunning(velmar::launcher::singleInstanceKey() + QLatin1Char(':')
                                         + QFileInfo(sLauncherFolder).canonicalFilePath());
    QVERIFY(oRunning.isFirstInstance());

    const QString sData = sDataHome.startsWith(QLatin1Char('/')) ? oRoot.path() + sDataHome : sDataHome;
    const TLauncherRun oRun = runLauncher(sLauncher, {QStringLiteral("--install-desktop-entry")},
                                          oRoot.filePath(QStringLiteral("home")), sData);
    QVERIFY2(oRun.m_nExitCode == 0, qPrintable(oRun.m_sOut + oRun.m_sErr));
    const QString sEntry = oRoot.filePath(sLanded + QStringLiteral("/applications/corvane-launcher.desktop"));
    QVERIFY2(oRun.m_sOut.contains(sEntry), qPrintable(oRun.m_sOut));

    const QString sValidator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    QVERIFY2(!sValidator.isEmpty(), "desktop-file-validate is missing: scripts/setup installs desktop-file-utils");
    QProcess oValidate;
    oValidate.start(sValidator, {sEntry});
    QVERIFY(oValidate.waitForFinished(60000));
    const QString sComplaints = QString::fromUtf8(oValidate.readAllStandardOutput() + oValidate.readAllStandardError());
    QVERIFY2(oValidate.exitCode() == 0 && sComplaints.isEmpty(), qPrintable(sComplaints));

    const TDesktopGroups hEntry = readDesktopEntry(sEntry);
    const QMap<QString, QString> hMain = hEntry.value(QStringLiteral("Desktop Entry"));
    QCOMPARE(hMain.value(QStringLiteral("Name")), QStringLiteral("Corvane Online"));
    QCOMPARE(execArguments(hMain.value(QStringLiteral("Exec"))), QStringList{sLauncher});
    const QMap<QString, QString> hAction = hEntry.value(QStringLiteral("Desktop Action open-launcher"));
    QCOMPARE(hAction.value(QStringLiteral("Name")), QStringLiteral("Open the launcher"));
    QCOMPARE(execArguments(hAction.value(QStringLiteral("Exec"))), QStringList({sLauncher, QStringLiteral("--show-ui")}));

    // The icon the entry names, in every size, each as large as its folder says.
    const QString sIcon = hMain.value(QStringLiteral("Icon"));
    for (const int nSize : {48, 128, 256}) {
        const QString sPath = oRoot.filePath(QStringLiteral("%1/icons/hicolor/%2x%2/apps/%3.png").arg(sLanded).arg(nSize).arg(sIcon));
        QCOMPARE(QImage(sPath).size(), QSize(nSize, nSize));
    }
}

void tst_DesktopEntry::helpNamesEveryOption()
{
    QTemporaryDir oHome;
    const TLauncherRun oRun = runLauncher(builtExecutable(QStringLiteral("corvane-launcher")), {QStringLiteral("--help")},
                                          oHome.path(), QString());
    QVERIFY2(oRun.m_nExitCode == 0, qPrintable(oRun.m_sOut + oRun.m_sErr));
    for (const char* pOption : {"--first-launch", "--skip-selfupdate", "--show-ui", "--patch", "--install-desktop-entry", "--help"})
        QVERIFY2(oRun.m_sOut.contains(QLatin1String(pOption)), pOption);
    // Nothing was written for a request for help.
    QVERIFY(QDir(oHome.path()).isEmpty());
}

QTEST_MAIN(tst_DesktopEntry)
#include "tst_desktopentry.moc"
