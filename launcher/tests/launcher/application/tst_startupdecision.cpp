// The decisions of a launcher run, row by row: whether the launcher updates
// itself, what it does at the decision point, and which client it starts once
// the updates it started have finished.

#include "launcher/application/startupdecision.h"

#include <QtTest>

using namespace velmar::launcher;

using TPositions = std::vector<int>;
Q_DECLARE_METATYPE(TPositions)

class tst_StartupDecision : public QObject
{
    Q_OBJECT

private slots:
    void selfUpdate_data();
    void selfUpdate();
    void decisionPoint_data();
    void decisionPoint();
    void afterUpdates_data();
    void afterUpdates();
};

void tst_StartupDecision::selfUpdate_data()
{
    QTest::addColumn<bool>("bSkip");
    QTest::addColumn<bool>("bPublished");
    QTest::addColumn<QString>("sPublished");
    QTest::addColumn<bool>("bWanted");

    QTest::newRow("same version") << false << true << "0.0.14" << false;
    QTest::newRow("newer") << false << true << "0.0.15" << true;
    QTest::newRow("older as well") << false << true << "0.0.13" << true;
    QTest::newRow("empty reads ?") << false << true << "" << true;
    QTest::newRow("skip-selfupdate") << true << true << "0.0.15" << false;
    QTest::newRow("no launcher build") << false << false << "" << false;
}

void tst_StartupDecision::selfUpdate()
{
    QFETCH(bool, bSkip);
    QFETCH(bool, bPublished);
    QFETCH(QString, sPublished);
    QFETCH(bool, bWanted);
    QCOMPARE(selfUpdateWanted(bSkip, bPublished, sPublished, QStringLiteral("0.0.14")), bWanted);
}

void tst_StartupDecision::decisionPoint_data()
{
    // Facts
    QTest::addColumn<QStringList>("lOptions");
    QTest::addColumn<int>("nPatchPackage");
    QTest::addColumn<TPositions>("lForced");
    QTest::addColumn<TPositions>("lAutomatic");
    QTest::addColumn<int>("nCurrentDefault");
    // Plan
    QTest::addColumn<bool>("bWindow");
    QTest::addColumn<int>("nNewDefault");
    QTest::addColumn<bool>("bPatchNotFound");
    QTest::addColumn<TPositions>("lInstall");
    QTest::addColumn<int>("nStart");

    const QStringList lNone;
    const QStringList lFirst{QStringLiteral("first-launch")};
    const QStringList lPatch{QStringLiteral("patch")};
    const QStringList lShowUi{QStringLiteral("show-ui")};
    QTest::newRow("current default starts at once") << lNone << -1 << TPositions{} << TPositions{1} << 2
                                                    << false << -1 << false << TPositions{} << 2;
    QTest::newRow("no current default: window") << lNone << -1 << TPositions{} << TPositions{} << -1
                                                 << true << -1 << false << TPositions{} << -1;
    QTest::newRow("show-ui keeps the default waiting") << lShowUi << -1 << TPositions{} << TPositions{} << 2
                                                       << true << -1 << false << TPositions{} << -1;
    QTest::newRow("first launch: all automatic, the first default")
        << lFirst << -1 << TPositions{3} << TPositions{1, 2} << 0 << true << 1 << false << TPositions{1, 2} << -1;
    QTest::newRow("first launch without automatic packages")
        << lFirst << -1 << TPositions{} << TPositions{} << 0 << true << -1 << false << TPositions{} << -1;
    QTest::newRow("forced patches without options") << lNone << -1 << TPositions{0, 2} << TPositions{} << 1
                                                    << true << -1 << false << TPositions{0, 2} << -1;
    QTest::newRow("patch after the forced ones") << lPatch << 1 << TPositions{2} << TPositions{} << 1
                                                 << true << -1 << false << TPositions{2, 1} << -1;
    QTest::newRow("patch names no package") << lPatch << -1 << TPositions{} << TPositions{0} << 0
                                            << true << -1 << true << TPositions{} << -1;
    QTest::newRow("patch beats show-ui") << (lPatch + lShowUi) << 0 << TPositions{} << TPositions{} << -1
                                         << true << -1 << false << TPositions{0} << -1;
}

void tst_StartupDecision::decisionPoint()
{
    QFETCH(QStringList, lOptions);
    QFETCH(int, nPatchPackage);
    QFETCH(TPositions, lForced);
    QFETCH(TPositions, lAutomatic);
    QFETCH(int, nCurrentDefault);
    TStartupFacts oFacts;
    oFacts.m_bFirstLaunch = lOptions.contains(QStringLiteral("first-launch"));
    oFacts.m_bShowUi = lOptions.contains(QStringLiteral("show-ui"));
    oFacts.m_bPatchRequested = lOptions.contains(QStringLiteral("patch"));
    oFacts.m_nPatchPackage = nPatchPackage;
    oFacts.m_lForcedPatches = lForced;
    oFacts.m_lInstallAutomatically = lAutomatic;
    oFacts.m_nCurrentDefault = nCurrentDefault;

    const TStartupPlan oPlan = planStartup(oFacts);
    QTEST(oPlan.m_bShowWindow, "bWindow");
    QTEST(oPlan.m_nNewDefault, "nNewDefault");
    QTEST(oPlan.m_bPatchNotFound, "bPatchNotFound");
    QTEST(oPlan.m_lInstall, "lInstall");
    QTEST(oPlan.m_nStart, "nStart");
}

void tst_StartupDecision::afterUpdates_data()
{
    QTest::addColumn<bool>("bPreventAutostart");
    QTest::addColumn<bool>("bFirstLaunch");
    QTest::addColumn<int>("nCurrentDefault");
    QTest::addColumn<int>("nPatchPackage");
    QTest::addColumn<bool>("bPatchSound");
    QTest::addColumn<int>("nStart");

    QTest::newRow("first launch starts the current default") << false << true << 1 << -1 << false << 1;
    QTest::newRow("first launch, default not current") << false << true << -1 << -1 << false << -1;
    QTest::newRow("preventdefaultautostart") << true << true << 1 << 2 << true << -1;
    QTest::newRow("patch went through") << false << false << 1 << 2 << true << 2;
    QTest::newRow("patch failed: window stays") << false << false << 1 << 2 << false << -1;
    QTest::newRow("first launch does not start the patched one") << false << true << -1 << 2 << true << -1;
    QTest::newRow("an update from the window") << false << false << 1 << -1 << false << -1;
}

void tst_StartupDecision::afterUpdates()
{
    QFETCH(bool, bPreventAutostart);
    QFETCH(bool, bFirstLaunch);
    QFETCH(int, nCurrentDefault);
    QFETCH(int, nPatchPackage);
    QFETCH(bool, bPatchSound);
    TUpdatesFinishedFacts oFacts;
    oFacts.m_bPreventDefaultAutostart = bPreventAutostart;
    oFacts.m_bFirstLaunch = bFirstLaunch;
    oFacts.m_nCurrentDefault = nCurrentDefault;
    oFacts.m_nPatchPackage = nPatchPackage;
    oFacts.m_bPatchPackageSound = bPatchSound;
    QTEST(clientToStartAfterUpdates(oFacts), "nStart");
}

QTEST_APPLESS_MAIN(tst_StartupDecision)
#include "tst_startupdecision.moc"
