// Signed metadata as the launcher loads it from a CDN: every way of serving it
// something the publisher did not sign fails safely and says why, while keys
// rotate, serials outlive the process and an expired copy still starts offline.

#include "configurationfixture.h"
#include "nginxserver.h"
#include "testfiles.h"
#include "testpool.h"
#include "testsigningkeys.h"

#include "launcher/documents/launcherconfigurationhandler.h"
#include "launcher/documents/signedenvelope.h"

#include "shared/downloadpool.h"
#include "shared/ed25519privatekey.h"
#include "shared/sha256.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

using namespace velmar::launcher;

namespace {

constexpr qint64 kDay = 24 * 60 * 60;

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch();
}

QByteArray packageDocument(const QByteArray& aVersion)
{
    return R"({"version":")" + aVersion + R"(","chunks":[{"url":"c0","packedsize":3}],"files":[{"localfile":"a","chunks":[0]}]})";
}

QByteArray pin(const char* pPrefix, const QByteArray& aDocument)
{
    return QByteArray(",\"") + pPrefix + "size\": " + QByteArray::number(aDocument.size()) + ", \"" + pPrefix + "hash\": \""
           + shared::TSha256::hash(aDocument).toHex() + '"';
}

QByteArray metadata(const QByteArray& aPackage, const QByteArray& aAssets)
{
    return R"({"packages": [{"name": "Live", "directoryname": "live", "builds": [{"os": "linux", "architecture": "x86_64",
               "url": "live/package.json", "assetsurl": "live/assets.json")"
           + pin("package", aPackage) + pin("assets", aAssets) + "}]}]}\n";
}

struct TPublication
{
    QByteArray aPackage = packageDocument("live-3");
    QByteArray aAssets = R"({"version": 9})";
    QByteArray aMetadata = metadata(aPackage, aAssets);
    quint64 nSerial = quint64(now());
    qint64 nIssuedAt = now() - kDay;
    qint64 nExpiresAt = now() + 30 * kDay;
    const shared::TEd25519PrivateKey* pKey = &oldKey();

    QByteArray envelope() const { return TSignedEnvelope::seal(aMetadata, nSerial, nIssuedAt, nExpiresAt, *pKey); }
};

// A launcher folder whose settings trust sKeys, with its own serial state.
class TFixture : public TConfigurationFixture
{
public:
    TFixture(const QUrl& oMetadataUrl, const QString& sState, const QString& sKeys = oldKey().publicKey().toText())
        : TConfigurationFixture(QStringLiteral("[URLS]\nlauncherConfiguration=%1\n[DIRECTORIES]\npackages=packages\n"
                                               "[TIMING]\ndownloadErrorTimeout=20000\n"
                                               "[FILES]\npackageFile=package.json\nassetFile=assets.json\n"
                                               "[SIGNING]\ntrustedKeys=%2\n")
                                    .arg(oMetadataUrl.toString(), sKeys)
                                    .toUtf8(),
                                sState)
    {
    }

    std::shared_ptr<const TPackageConfigurationReader> live() const { return configuration(0); }
    // A local copy as an earlier run left it.
    bool keep(const TPublication& oPublication) const
    {
        return writeTestFile(path(QStringLiteral("launchermetadata.json")), oPublication.aMetadata)
               && writeTestFile(path(QStringLiteral("launchermetadata.json.signed")), oPublication.envelope());
    }
};

} // namespace

class tst_LauncherSigning : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusedMetadata_data();
    void refusedMetadata();
    void refusedDocuments_data();
    void refusedDocuments();
    void acceptedMetadata_data();
    void acceptedMetadata();
    void serialSurvivesRestart();
    void expiredCopyStartsInstalledClientOffline();
    void documentsPublishedDuringTheLoad();

private:
    // A folder of its own for the data row, and its serial state.
    static QString rowFolder(const char* pPrefix)
    {
        return QLatin1String(pPrefix) + QString::fromLatin1(QTest::currentDataTag()).remove(QRegularExpression(QStringLiteral("\\W")));
    }
    QString state(const QString& sFolder) const { return m_oRoot.filePath(sFolder + QStringLiteral(".state")); }
    // Publishes under a folder of its own and returns the metadata's address.
    QUrl publish(const QString& sFolder, const TPublication& oPublication, const QByteArray& aEnvelope,
                 const QByteArray& aPackageServed = QByteArray())
    {
        const QDir oFolder(m_oRoot.filePath(sFolder));
        writeTestFile(oFolder.filePath(QStringLiteral("metadata.json")), oPublication.aMetadata);
        if (!aEnvelope.isNull())
            writeTestFile(oFolder.filePath(QStringLiteral("metadata.json.signed")), aEnvelope);
        writeTestFile(oFolder.filePath(QStringLiteral("live/package.json")),
                      aPackageServed.isNull() ? oPublication.aPackage : aPackageServed);
        writeTestFile(oFolder.filePath(QStringLiteral("live/assets.json")), oPublication.aAssets);
        return m_oServer.url(QStringLiteral("/%1/metadata.json").arg(sFolder));
    }

    QTemporaryDir m_oRoot;
    TNginxServer m_oServer;
};

void tst_LauncherSigning::initTestCase()
{
    QVERIFY(m_oRoot.isValid());
    QVERIFY2(m_oServer.start(m_oRoot.path()), qPrintable(m_oServer.errorString()));
}

void tst_LauncherSigning::refusedMetadata_data()
{
    QTest::addColumn<QByteArray>("aEnvelope");
    QTest::addColumn<bool>("bLocalCopy");
    QTest::addColumn<QString>("sReason");
    TPublication oSound;
    const QByteArray aSound = oSound.envelope();
    QByteArray aChanged = aSound;
    aChanged[TSignedEnvelope::kHeaderSize + 20] = char(aChanged.at(TSignedEnvelope::kHeaderSize + 20) ^ 0x01);
    TPublication oStranger;
    const shared::TEd25519PrivateKey oStrangerKey = shared::TEd25519PrivateKey::generate();
    oStranger.pKey = &oStrangerKey;
    TPublication oFrozen;
    oFrozen.nIssuedAt = 1700000000;
    oFrozen.nExpiresAt = 1700000000 + 30 * kDay;

    // What the envelope's check says of each is its own test's; here each only
    // has to keep the player from the metadata inside.
    QTest::newRow("arbitrary software: changed metadata") << aChanged << false << QStringLiteral("bad signature");
    QTest::newRow("changed metadata, the local copy serves offline") << aChanged << true << QString();
    QTest::newRow("wrong key") << oStranger.envelope() << false
                               << QStringLiteral("unknown key ") + oStrangerKey.publicKey().keyIdText();
    QTest::newRow("freeze: expired") << oFrozen.envelope() << false << QStringLiteral("expired on 2023-12-14 22:13 UTC");
    QTest::newRow("no signed metadata, only the plain one") << QByteArray() << false
                                                            << QStringLiteral("the signed metadata is missing");
}

// Nothing inside a refused envelope is read: with no trusted local copy the
// player gets the maintenance box with the reason, never the plain metadata.
void tst_LauncherSigning::refusedMetadata()
{
    QFETCH(QByteArray, aEnvelope);
    QFETCH(bool, bLocalCopy);
    QFETCH(QString, sReason);
    const QString sFolder = rowFolder("refused");
    TFixture oFixture(publish(sFolder, TPublication(), aEnvelope.isEmpty() ? QByteArray() : aEnvelope), state(sFolder));
    TPublication oEarlier;
    oEarlier.nSerial -= 100;
    QVERIFY(!bLocalCopy || oFixture.keep(oEarlier));
    oFixture.load();
    QCOMPARE(oFixture.m_oLoaded.size(), bLocalCopy ? 1 : 0);
    QCOMPARE(oFixture.m_oHandler.isOffline(), bLocalCopy);
    if (!bLocalCopy) {
        QCOMPARE(oFixture.m_oRefused.size(), 1);
        QCOMPARE(oFixture.m_oRefused.first().at(0).toString(), sReason);
        QVERIFY(!oFixture.m_oHandler.launcherConfiguration());
        QVERIFY(!QFileInfo::exists(oFixture.path(QStringLiteral("launchermetadata.json"))));
    }
}

void tst_LauncherSigning::refusedDocuments_data()
{
    QTest::addColumn<QByteArray>("aPackageServed");
    QTest::addColumn<QString>("sReason");
    TPublication oSound;
    QTest::newRow("arbitrary software: changed executable")
        << QByteArray(oSound.aPackage).replace("\"a\"", "\"b\"") << QStringLiteral("its SHA-256 differs");
    QTest::newRow("endless data") << oSound.aPackage + QByteArray(8 * 1024 * 1024, ' ')
                                  << QStringLiteral("more than the %1 bytes signed").arg(oSound.aPackage.size());
}

// A document that is not the one signed fails its package only, after the
// signed metadata was fetched once more in case a publication was under way.
void tst_LauncherSigning::refusedDocuments()
{
    QFETCH(QByteArray, aPackageServed);
    QFETCH(QString, sReason);
    const QString sFolder = rowFolder("documents");
    TPublication oPublication;
    TFixture oFixture(publish(sFolder, oPublication, oPublication.envelope(), aPackageServed), state(sFolder));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Package configuration of \"Live\" refused: .*")
                                                           + QRegularExpression::escape(sReason)));
    const bool bEndless = sReason.startsWith(QLatin1String("more"));
    if (!bEndless)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".*fetching the signed configuration again")));
    oFixture.load();
    QVERIFY(!oFixture.m_oHandler.isOffline());
    QVERIFY(!oFixture.live());
    const QString sEnvelopePath = QStringLiteral("/%1/metadata.json.signed").arg(sFolder);
    QTRY_COMPARE_WITH_TIMEOUT(m_oServer.servedPaths().count(sEnvelopePath), bEndless ? 1 : 2, 20000);
}

void tst_LauncherSigning::acceptedMetadata_data()
{
    QTest::addColumn<QString>("sKeys");
    QTest::addColumn<bool>("bNewKey");
    QTest::addColumn<bool>("bSigned");
    QTest::newRow("signed by the trusted key") << oldKey().publicKey().toText() << false << true;
    QTest::newRow("rotated: the new key, old and new trusted")
        << oldKey().publicKey().toText() + QLatin1Char(' ') + newKey().publicKey().toText() << true << true;
    // No key: the plain metadata, read as always, even beside a damaged envelope.
    QTest::newRow("no trusted key") << QString() << false << false;
}

void tst_LauncherSigning::acceptedMetadata()
{
    QFETCH(QString, sKeys);
    QFETCH(bool, bNewKey);
    QFETCH(bool, bSigned);
    const QString sFolder = rowFolder("accepted");
    TPublication oPublication;
    if (bNewKey)
        oPublication.pKey = &newKey();
    const QByteArray aEnvelope = bSigned ? oPublication.envelope() : QByteArray("CVSIGNED damaged");
    TFixture oFixture(publish(sFolder, oPublication, aEnvelope), state(sFolder), sKeys);
    oFixture.load();
    QCOMPARE(oFixture.m_oLoaded.size(), 1);
    QVERIFY(!oFixture.m_oHandler.isOffline());
    QVERIFY(oFixture.live() && oFixture.live()->isValid());
    QCOMPARE(oFixture.live()->version(), QStringLiteral("live-3"));
    // The plain copy stays what it always was; the envelope lies beside it only when checked.
    QCOMPARE(readTestFile(oFixture.path(QStringLiteral("launchermetadata.json"))), oPublication.aMetadata);
    QCOMPARE(readTestFile(oFixture.path(QStringLiteral("launchermetadata.json.signed"))), bSigned ? aEnvelope : QByteArray());
    const QStringList lServed = m_oServer.servedPaths();
    QCOMPARE(lServed.contains(QStringLiteral("/%1/metadata.json").arg(sFolder)), !bSigned);
}

// An older, correctly signed state served again is refused by a new process,
// from the floor kept in the player's state and from its local copy alike.
void tst_LauncherSigning::serialSurvivesRestart()
{
    const QString sState = state(QStringLiteral("restart"));
    TPublication oNew;
    TPublication oOld;
    oOld.nSerial = oNew.nSerial - 1000;
    QUrl oUrl = publish(QStringLiteral("restart"), oNew, oNew.envelope());
    {
        TFixture oFixture(oUrl, sState);
        oFixture.load();
        QCOMPARE(oFixture.m_oLoaded.size(), 1);
    }
    oUrl = publish(QStringLiteral("restart"), oOld, oOld.envelope());
    const QString sReason = QStringLiteral("rollback from serial %1 to %2").arg(oNew.nSerial).arg(oOld.nSerial);
    {
        TFixture oFixture(oUrl, sState);
        oFixture.load();
        QCOMPARE(oFixture.m_oRefused.size(), 1);
        QCOMPARE(oFixture.m_oRefused.first().at(0).toString(), sReason);
    }
    // No state, but the local copy of the newer state: refused just the same, and the copy serves offline.
    TFixture oFixture(oUrl, state(QStringLiteral("restart-fresh")));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("launchermetadata.json.signed")), oNew.envelope()));
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(QStringLiteral("Download of configuration refused: \"%1\"").arg(sReason)));
    oFixture.load();
    QCOMPARE(oFixture.m_oLoaded.size(), 1);
    QVERIFY(oFixture.m_oHandler.isOffline());
}

// Offline nothing is installed or updated: a client installed while the
// signature was current still starts after it expired, and the log says so.
void tst_LauncherSigning::expiredCopyStartsInstalledClientOffline()
{
    const QUrl oNowhere(QStringLiteral("http://127.0.0.1:%1/metadata.json").arg(freeLoopbackPort()));
    TFixture oFixture(oNowhere, state(QStringLiteral("expired")));
    TPublication oExpired;
    oExpired.nIssuedAt = now() - 60 * kDay;
    oExpired.nExpiresAt = now() - 30 * kDay;
    QVERIFY(oFixture.keep(oExpired));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("packages/live/package.json")), oExpired.aPackage));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("packages/live/assets.json")), oExpired.aAssets));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Starting offline on a signed local copy that has \"expired on .*")));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Download of configuration failed.*")));
    oFixture.load();
    QCOMPARE(oFixture.m_oLoaded.size(), 1);
    QVERIFY(oFixture.m_oHandler.isOffline());
    QVERIFY(oFixture.live() && oFixture.live()->isValid());

    // A plain copy whose envelope is gone is no copy to trust.
    TFixture oWithout(oNowhere, state(QStringLiteral("expired")));
    QVERIFY(writeTestFile(oWithout.path(QStringLiteral("launchermetadata.json")), oExpired.aMetadata));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Download of configuration failed.*")));
    oWithout.load();
    QCOMPARE(oWithout.m_oFailed.size(), 1);
}

// The signed metadata read, then the publisher put out new documents and signed
// them: fetched once more, the newer signature vouches for them.
void tst_LauncherSigning::documentsPublishedDuringTheLoad()
{
    TPublication oFirst;
    oFirst.nSerial -= 10;
    TFixture oFixture(publish(QStringLiteral("underway"), oFirst, oFirst.envelope()), state(QStringLiteral("underway")));
    oFixture.m_oHandler.startLoadingMainConfiguration();
    QTRY_COMPARE_WITH_TIMEOUT(oFixture.m_oLoaded.size(), 1, 20000);
    TPublication oSecond;
    oSecond.aPackage = packageDocument("live-4");
    oSecond.aMetadata = metadata(oSecond.aPackage, oSecond.aAssets);
    publish(QStringLiteral("underway"), oSecond, oSecond.envelope());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".*fetching the signed configuration again")));
    oFixture.m_oHandler.downloadPackageConfigurations();
    QTRY_COMPARE_WITH_TIMEOUT(oFixture.m_oFinished.size(), 1, 20000);
    QVERIFY(oFixture.live());
    QCOMPARE(oFixture.live()->version(), QStringLiteral("live-4"));
}

QTEST_GUILESS_MAIN(tst_LauncherSigning)
#include "tst_launchersigning.moc"
