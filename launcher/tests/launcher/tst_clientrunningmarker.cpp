#include "launcher/clientrunningmarker.h"

#include <QtTest>

using namespace velmar::launcher;

class tst_ClientRunningMarker : public QObject
{
    Q_OBJECT

private slots:
    void seenWhileHeld();
};

void tst_ClientRunningMarker::seenWhileHeld()
{
    QVERIFY(!isClientRunning());
    {
        TClientRunningMarker oMarker;
        QVERIFY(oMarker.isHeld());
        QVERIFY(isClientRunning());
        TClientRunningMarker oSecondClient;
        QVERIFY(!oSecondClient.isHeld());
    }
    QVERIFY(!isClientRunning());
}

QTEST_GUILESS_MAIN(tst_ClientRunningMarker)
#include "tst_clientrunningmarker.moc"
