#include "childprocess.h"

#include "shared/firstinstancetester.h"
#include "shared/namedfilemapping.h"

#include <QUuid>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <thread>
#include <cstdio>
#include <unistd.h>

using shared::FirstInstanceTester;
using shared::TNamedFileMapping;

namespace {

QByteArray uniqueName()
{
    return "Corvane-test-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
}

// Holds a marker (or a first-instance segment), says so on stdout and waits to be killed.
int holdMarker(int, char** ppArgv)
{
    TNamedFileMapping oMarker(ppArgv[3], true);
    std::printf(oMarker.isHeld() ? "held\n" : "not held\n");
    std::fflush(stdout);
    ::pause();
    return 0;
}

int holdSegment(int nArgc, char** ppArgv)
{
    QCoreApplication oApplication(nArgc, ppArgv);
    FirstInstanceTester oTester(QString::fromLatin1(ppArgv[3]));
    std::printf(oTester.isFirstInstance() ? "first\n" : "second\n");
    std::fflush(stdout);
    ::pause();
    return 0;
}

QByteArray readLine(QProcess& oProcess)
{
    if (!oProcess.waitForReadyRead(10000))
        return "<no answer>";
    return oProcess.readLine().trimmed();
}

void killHard(QProcess& oProcess)
{
    ::kill(static_cast<pid_t>(oProcess.processId()), SIGKILL);
    oProcess.waitForFinished(10000);
}

} // namespace

class tst_NamedFileMapping : public QObject
{
    Q_OBJECT

private slots:
    void heldWhileAlive();
    void releasedWhenHolderIsKilled();
    void checkingNeverTakesTheName();
    void firstInstance();
    void abandonedSegmentDoesNotBlock();
    void simultaneousStartsHaveOneWinner();
};

void tst_NamedFileMapping::heldWhileAlive()
{
    const QByteArray aName = uniqueName();
    QVERIFY(!TNamedFileMapping::exists(aName));
    {
        TNamedFileMapping oFirst(aName, true);
        QVERIFY(oFirst.isHeld());
        QVERIFY(TNamedFileMapping::exists(aName));
        TNamedFileMapping oSecond(aName, true);
        QVERIFY(!oSecond.isHeld());
        QVERIFY(TNamedFileMapping::exists(aName));
    }
    QVERIFY(!TNamedFileMapping::exists(aName));
}

void tst_NamedFileMapping::releasedWhenHolderIsKilled()
{
    const QByteArray aName = uniqueName();
    QProcess oChild;
    startChild(oChild, QStringLiteral("hold-marker"), {QString::fromLatin1(aName)});
    QCOMPARE(readLine(oChild), QByteArray("held"));
    QVERIFY(TNamedFileMapping::exists(aName));
    TNamedFileMapping oHere(aName, true);
    QVERIFY2(!oHere.isHeld(), "another process holds the name");

    killHard(oChild);
    QVERIFY(!TNamedFileMapping::exists(aName));
    TNamedFileMapping oAfter(aName, true);
    QVERIFY(oAfter.isHeld());
}

void tst_NamedFileMapping::checkingNeverTakesTheName()
{
    // A client creating its marker while the launcher polls for it must get it.
    const QByteArray aName = uniqueName();
    std::atomic<bool> bStop{false};
    std::atomic<int> nChecks{0};
    std::thread oChecker([&] {
        while (!bStop) {
            TNamedFileMapping::exists(aName);
            ++nChecks;
        }
    });
    while (nChecks == 0)
        std::this_thread::yield();
    int nLost = 0;
    for (int nRound = 0; nRound < 20000; ++nRound) {
        TNamedFileMapping oHolder(aName, true);
        nLost += oHolder.isHeld() ? 0 : 1;
    }
    bStop = true;
    oChecker.join();
    QCOMPARE(nLost, 0);
}

void tst_NamedFileMapping::firstInstance()
{
    const QString sKey = QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        FirstInstanceTester oFirst(sKey);
        QVERIFY(oFirst.isFirstInstance());
        QProcess oChild;
        startChild(oChild, QStringLiteral("hold-segment"), {sKey});
        QCOMPARE(readLine(oChild), QByteArray("second"));
        killHard(oChild);
        // The second tester's probe must not have removed the live first instance's segment.
        FirstInstanceTester oThird(sKey);
        QVERIFY(!oThird.isFirstInstance());
        QCOMPARE(oThird.error(), QSharedMemory::AlreadyExists);
    }
    FirstInstanceTester oAgain(sKey);
    QVERIFY(oAgain.isFirstInstance());
}

void tst_NamedFileMapping::abandonedSegmentDoesNotBlock()
{
    const QString sKey = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QProcess oChild;
    startChild(oChild, QStringLiteral("hold-segment"), {sKey});
    QCOMPARE(readLine(oChild), QByteArray("first"));
    killHard(oChild);
    // Also when the key file went with a cleaned temporary folder.
    QFile::remove(QSharedMemory(sKey).nativeKey());

    FirstInstanceTester oNext(sKey);
    QVERIFY2(oNext.isFirstInstance(), "a segment left by a killed instance blocked the next one");
}

void tst_NamedFileMapping::simultaneousStartsHaveOneWinner()
{
    const QString sKey = QUuid::createUuid().toString(QUuid::WithoutBraces);
    constexpr int kStarters = 4;
    for (int nRound = 0; nRound < 150; ++nRound) {
        std::atomic<int> nReady{0};
        std::atomic<int> nFirst{0};
        std::vector<std::unique_ptr<FirstInstanceTester>> lTesters(kStarters);
        std::vector<std::thread> lThreads;
        for (int nStarter = 0; nStarter < kStarters; ++nStarter)
            lThreads.emplace_back([&, nStarter] {
                ++nReady;
                while (nReady < kStarters)
                    std::this_thread::yield();
                lTesters[size_t(nStarter)] = std::make_unique<FirstInstanceTester>(sKey);
                nFirst += lTesters[size_t(nStarter)]->isFirstInstance() ? 1 : 0;
            });
        for (std::thread& oThread : lThreads)
            oThread.join();
        QCOMPARE(nFirst.load(), 1);
    }
}

CORVANE_TEST_MAIN_WITH_CHILDREN(tst_NamedFileMapping, {"hold-marker", holdMarker}, {"hold-segment", holdSegment})
#include "tst_namedfilemapping.moc"
