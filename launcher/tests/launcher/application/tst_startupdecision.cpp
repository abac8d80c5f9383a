// The decisions of a launcher run, row by row: whether the launcher updates
// itself, what it does at the decision point, and which client it starts once
// the updates it started have finished.

#include "launcher/application/startupdecision.h"

#include <QtTest>

using namespace velmar::launcher;

using TPositions = std::vector<int>;
Q_DECLARE_METATYPE(TPositions)
Q_DECLARE_METATYPE(TStartupFacts)
Q_DECLARE_METATYPE(TUpdatesFinishedFacts)

namespace {

// The facts of a run with these space-separated command-line options.
TStartupFacts facts(const char* pOptions, int nPatchPackage, TPositions lForced, TPositions lAutomatic, int nDefault)
{
    const QStringList lOptions = QString::fromLatin1(pOptions).split(QLatin1Char(' '));
    return {lOptions.contains(QStringLiteral("first-launch")), lOptions.contains(QStringLiteral("show-ui")),
            lOptions.contains(QStringLiteral("patch")), nPatchPackage, std::move(lForced), std::move(lAutomatic),
            nDefault};
}

} // namespace

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
    QTEST(selfUpdateWanted(bSkip, bPublished, sPublished, QStringLiteral("0.0.14")), "bWanted");
}

void tst_StartupDecision::decisionPoint_data()
{
    QTest::addColumn<TStartupFacts>("oFacts");
    QTest::addColumn<bool>("bWindow");
    QTest::addColumn<int>("nNewDefault");
    QTest::addColumn<bool>("bPatchNotFound");
    QTest::addColumn<TPositions>("lInstall");
    QTest::addColumn<int>("nStart");
    QTest::newRow("current default starts at once") << facts("", -1, {}, {1}, 2)
                                                    << false << -1 << false << TPositions{} << 2;
    QTest::newRow("no current default: window") << facts("", -1, {}, {}, -1)
                                                 << true << -1 << false << TPositions{} << -1;
    QTest::newRow("show-ui keeps the default waiting") << facts("show-ui", -1, {}, {}, 2)
                                                       << true << -1 << false << TPositions{} << -1;
    QTest::newRow("first launch: all automatic, the first default")
        << facts("first-launch", -1, {3}, {1, 2}, 0) << true << 1 << false << TPositions{1, 2} << -1;
    QTest::newRow("first launch without automatic packages")
        << facts("first-launch", -1, {}, {}, 0) << true << -1 << false << TPositions{} << -1;
    QTest::newRow("forced patches without options") << facts("", -1, {0, 2}, {}, 1)
                                                    << true << -1 << false << TPositions{0, 2} << -1;
    QTest::newRow("patch after the forced ones") << facts("patch", 1, {2}, {}, 1)
                                                 << true << -1 << false << TPositions{2, 1} << -1;
    QTest::newRow("patch names no package") << facts("patch", -1, {}, {0}, 0)
                                            << true << -1 << true << TPositions{} << -1;
    QTest::newRow("patch beats show-ui") << facts("patch show-ui", 0, {}, {}, -1)
                                         << true << -1 << false << TPositions{0} << -1;
}

void tst_StartupDecision::decisionPoint()
{
    QFETCH(TStartupFacts, oFacts);
    const TStartupPlan oPlan = planStartup(oFacts);
    QTEST(oPlan.m_bShowWindow, "bWindow");
    QTEST(oPlan.m_nNewDefault, "nNewDefault");
    QTEST(oPlan.m_bPatchNotFound, "bPatchNotFound");
    QTEST(oPlan.m_lInstall, "lInstall");
    QTEST(oPlan.m_nStart, "nStart");
}

void tst_StartupDecision::afterUpdates_data()
{
    // Prevent default autostart, first launch, current default, patch package, patch package sound.
    QTest::addColumn<TUpdatesFinishedFacts>("oFacts");
    QTest::addColumn<int>("nStart");
    QTest::newRow("first launch starts the current default") << TUpdatesFinishedFacts{false, true, 1, -1, false} << 1;
    QTest::newRow("preventdefaultautostart") << TUpdatesFinishedFacts{true, true, 1, 2, true} << -1;
    QTest::newRow("patch went through") << TUpdatesFinishedFacts{false, false, 1, 2, true} << 2;
    QTest::newRow("patch failed: window stays") << TUpdatesFinishedFacts{false, false, 1, 2, false} << -1;
    QTest::newRow("first launch: not the patched one") << TUpdatesFinishedFacts{false, true, -1, 2, true} << -1;
    QTest::newRow("an update from the window") << TUpdatesFinishedFacts{false, false, 1, -1, false} << -1;
}

void tst_StartupDecision::afterUpdates()
{
    QFETCH(TUpdatesFinishedFacts, oFacts);
    QTEST(clientToStartAfterUpdates(oFacts), "nStart");
}

QTEST_APPLESS_MAIN(tst_StartupDecision)
#include "tst_startupdecision.moc"
