// Signed metadata as the launcher judges it: the envelope's layout and
// signature, the serial floor, its time, the trusted keys and the pins of the
// documents. Whole launcher runs against a CDN are tst_launchersigning.

#include "testsigningkeys.h"

#include "launcher/documents/envelopecheck.h"
#include "launcher/documents/launcherconfigurationreader.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"
#include "launcher/documents/serialfloor.h"
#include "launcher/documents/signedenvelope.h"
#include "launcher/documents/trustedkeys.h"

#include "shared/ed25519privatekey.h"
#include "shared/sha256.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmar::launcher;

namespace {

constexpr qint64 kNow = 1767225600; // 2026-01-01 00:00 UTC
constexpr qint64 kDay = 24 * 60 * 60;
constexpr quint64 kSerial = 1767000000;

TTrustedKeys trusting(std::initializer_list<const shared::TEd25519PrivateKey*> lKeys)
{
    TTrustedKeys oKeys;
    for (const shared::TEd25519PrivateKey* pKey : lKeys)
        oKeys.add(pKey->publicKey());
    return oKeys;
}

QByteArray sealed(const QByteArray& aPayload = "{\"packages\": []}", quint64 nSerial = kSerial,
                  qint64 nIssuedAt = kNow - kDay, qint64 nExpiresAt = kNow + 30 * kDay,
                  const shared::TEd25519PrivateKey& oKey = oldKey())
{
    return TSignedEnvelope::seal(aPayload, nSerial, nIssuedAt, nExpiresAt, oKey);
}

QByteArray flipped(QByteArray aBytes, int nAt)
{
    aBytes[nAt] = char(aBytes.at(nAt) ^ 0x01);
    return aBytes;
}

} // namespace

class tst_SignedMetadata : public QObject
{
    Q_OBJECT

private slots:
    void envelopeAddressAndLimit();
    void verdicts_data();
    void verdicts();
    void publicKeyTexts_data();
    void publicKeyTexts();
    void settingsCanOnlyAddKeys();
    void pins_data();
    void pins();
    void serialFloorPerAddressAndKey();
};

void tst_SignedMetadata::envelopeAddressAndLimit()
{
    QCOMPARE(TSignedEnvelope::addressFor(QUrl(QStringLiteral("https://cdn.invalid/launcher/qlxmetadata.json?x=1"))),
             QUrl(QStringLiteral("https://cdn.invalid/launcher/qlxmetadata.json.signed?x=1")));
    QVERIFY_EXCEPTION_THROWN(sealed(QByteArray(int(TSignedEnvelope::kMaximumSize), ' ')), std::runtime_error);
}

void tst_SignedMetadata::verdicts_data()
{
    QTest::addColumn<QByteArray>("aBytes");
    QTest::addColumn<quint64>("nFloor");
    QTest::addColumn<int>("eProblem");
    QTest::addColumn<QString>("sReason");

    const auto row = [](const char* pName, const QByteArray& aBytes, EEnvelopeProblem eProblem, const QString& sReason,
                        quint64 nFloor = 0) {
        QTest::newRow(pName) << aBytes << nFloor << int(eProblem) << sReason;
    };
    const QByteArray aSound = sealed();
    const QString sBad = QStringLiteral("bad signature");
    const QString sDamaged = QStringLiteral("bad signature: the signed metadata is damaged or cut short");
    row("sound", aSound, EEnvelopeProblem::None, QString());
    row("signed by the new key, both trusted", sealed("{}", kSerial, kNow, kNow + kDay, newKey()), EEnvelopeProblem::None,
        QString());
    row("serial equal to the floor", aSound, EEnvelopeProblem::None, QString(), kSerial);
    row("issued an hour ahead of the clock", sealed("{}", kSerial, kNow + 3600), EEnvelopeProblem::None, QString());

    row("empty", QByteArray(), EEnvelopeProblem::Damaged, sDamaged);
    row("cut inside the header", aSound.left(20), EEnvelopeProblem::Damaged, sDamaged);
    row("signature cut short", aSound.chopped(1), EEnvelopeProblem::Damaged, sDamaged);
    row("a byte too many", aSound + 'x', EEnvelopeProblem::Damaged, sDamaged);
    row("another format version", flipped(aSound, 8), EEnvelopeProblem::Damaged, sDamaged);
    row("payload size changed", flipped(aSound, TSignedEnvelope::kHeaderSize - 1), EEnvelopeProblem::Damaged, sDamaged);
    row("metadata changed", flipped(aSound, TSignedEnvelope::kHeaderSize + 3), EEnvelopeProblem::BadSignature, sBad);
    row("serial changed", flipped(aSound, 24), EEnvelopeProblem::BadSignature, sBad);
    row("expiry moved", flipped(aSound, 40), EEnvelopeProblem::BadSignature, sBad);
    row("signature damaged", flipped(aSound, aSound.size() - 1), EEnvelopeProblem::BadSignature, sBad);
    row("signature of zeros", aSound.chopped(64) + QByteArray(64, '\0'), EEnvelopeProblem::BadSignature, sBad);
    const shared::TEd25519PrivateKey oStranger = shared::TEd25519PrivateKey::generate();
    row("signed by a key nobody trusts", sealed("{}", kSerial, kNow, kNow + kDay, oStranger), EEnvelopeProblem::UnknownKey,
        QStringLiteral("unknown key ") + oStranger.publicKey().keyIdText());

    row("rollback", aSound, EEnvelopeProblem::Rollback,
        QStringLiteral("rollback from serial %1 to %2").arg(kSerial + 1).arg(kSerial), kSerial + 1);
    row("expired", sealed("{}", kSerial, kNow - 31 * kDay, kNow - kDay), EEnvelopeProblem::Expired,
        QStringLiteral("expired on 2025-12-31 00:00 UTC"));
    row("expires this second", sealed("{}", kSerial, kNow - kDay, kNow), EEnvelopeProblem::Expired,
        QStringLiteral("expired on 2026-01-01 00:00 UTC"));
    row("issued two days ahead of the clock", sealed("{}", kSerial, kNow + 2 * kDay, kNow + 30 * kDay),
        EEnvelopeProblem::IssuedInFuture, QStringLiteral("issued on 2026-01-03 00:00 UTC, which lies in the future: check the system clock"));
}

void tst_SignedMetadata::verdicts()
{
    QFETCH(QByteArray, aBytes);
    QFETCH(quint64, nFloor);
    QFETCH(int, eProblem);
    QFETCH(QString, sReason);
    const TEnvelopeCheck oCheck(aBytes, trusting({&oldKey(), &newKey()}), nFloor, kNow);
    QCOMPARE(int(oCheck.problem()), eProblem);
    QCOMPARE(oCheck.reason(), sReason);
    const bool bTimeOnly = eProblem == int(EEnvelopeProblem::Expired) || eProblem == int(EEnvelopeProblem::IssuedInFuture);
    // Only a signature found good lets anything inside be read; only a current one lets anything be installed.
    QCOMPARE(oCheck.isAuthentic(), eProblem == int(EEnvelopeProblem::None) || bTimeOnly);
    QCOMPARE(bool(oCheck.envelope()), oCheck.isAuthentic());
    QCOMPARE(oCheck.isCurrent(), eProblem == int(EEnvelopeProblem::None));
}

void tst_SignedMetadata::publicKeyTexts_data()
{
    QTest::addColumn<QString>("sText");
    QTest::addColumn<bool>("bKey");
    const QString sKey = oldKey().publicKey().toText();
    QTest::newRow("as printed") << sKey << true;
    QTest::newRow("white space around") << QStringLiteral("  %1\n").arg(sKey) << true;
    QTest::newRow("no prefix") << sKey.mid(8) << false;
    QTest::newRow("another algorithm") << QStringLiteral("ed448:") + sKey.mid(8) << false;
    QTest::newRow("without padding") << sKey.chopped(1) << false;
    QTest::newRow("a character that is no base64") << sKey.left(20) + QLatin1Char('!') + sKey.mid(21) << false;
    QTest::newRow("31 bytes") << QStringLiteral("ed25519:") + QString::fromLatin1(QByteArray(31, 'k').toBase64()) << false;
}

void tst_SignedMetadata::publicKeyTexts()
{
    QFETCH(QString, sText);
    QFETCH(bool, bKey);
    const auto oKey = shared::TEd25519PublicKey::fromText(sText);
    QCOMPARE(bool(oKey), bKey);
    if (bKey)
        QCOMPARE(*oKey, oldKey().publicKey());
}

void tst_SignedMetadata::settingsCanOnlyAddKeys()
{
    TTrustedKeys oKeys;
    QVERIFY(oKeys.add(QStringLiteral(" , \n")).isEmpty());
    QVERIFY(!oKeys.isChecking());
    // A list of mistakes switches checking on and trusts nothing.
    QCOMPARE(oKeys.add(QStringLiteral("off none")), QStringList({QStringLiteral("off"), QStringLiteral("none")}));
    QVERIFY(oKeys.isChecking());
    QVERIFY(oKeys.keys().empty());
    QVERIFY(!TEnvelopeCheck(sealed(), oKeys, 0, kNow).isAuthentic());
    // Two keys at once, the same key twice counted once.
    QVERIFY(oKeys.add(oldKey().publicKey().toText() + QLatin1Char(',') + newKey().publicKey().toText() + QLatin1Char(' ')
                      + oldKey().publicKey().toText())
                .isEmpty());
    QCOMPARE(int(oKeys.keys().size()), 2);
    QCOMPARE(oKeys.find(newKey().publicKey().keyId()), &oKeys.keys()[1]);
}

void tst_SignedMetadata::pins_data()
{
    QTest::addColumn<QString>("sBuildMembers");
    QTest::addColumn<QByteArray>("aDocument");
    QTest::addColumn<QString>("sMismatch");
    const QByteArray aDocument = "{\"version\": \"1.0\", \"files\": []}";
    const QString sSize = QString::number(aDocument.size());
    const QString sHash = QString::fromLatin1(shared::TSha256::hash(aDocument).toHex());
    const auto pin = [](const QString& sPinSize, const QString& sPinHash) {
        return QStringLiteral("\"packagesize\": %1, \"packagehash\": \"%2\"").arg(sPinSize, sPinHash);
    };
    const QString sTail = QStringLiteral("document does not match its pin: ");
    QTest::newRow("size as decimal text, hash in capitals") << pin('"' + sSize + '"', sHash.toUpper()) << aDocument << QString();
    QTest::newRow("longer") << pin(sSize, sHash) << aDocument + ' '
                            << sTail + QStringLiteral("%1 bytes where %2 were signed").arg(aDocument.size() + 1).arg(sSize);
    QTest::newRow("same size, other bytes") << pin(sSize, sHash) << QByteArray(aDocument).replace("1.0", "6.6")
                                            << sTail + QStringLiteral("its SHA-256 differs");
    QTest::newRow("no pin") << QString() << aDocument << sTail + QStringLiteral("the signed metadata pins no such document");
    QTest::newRow("hash of the wrong length") << pin(sSize, sHash.chopped(2)) << aDocument
                                              << sTail + QStringLiteral("the pin cannot be read");
    QTest::newRow("negative size") << pin(QStringLiteral("-1"), sHash) << aDocument
                                   << sTail + QStringLiteral("%1 bytes where 0 were signed").arg(sSize);
}

void tst_SignedMetadata::pins()
{
    QFETCH(QString, sBuildMembers);
    QFETCH(QByteArray, aDocument);
    QFETCH(QString, sMismatch);
    const QString sBuild = QStringLiteral("{\"os\": \"linux\", \"architecture\": \"x86_64\", \"url\": \"p.json\"%1%2}")
                               .arg(sBuildMembers.isEmpty() ? QString() : QStringLiteral(", "), sBuildMembers);
    const TLauncherConfigurationReader oReader(QStringLiteral("{\"packages\": [{\"builds\": [%1]}]}").arg(sBuild).toUtf8(),
                                               QUrl(QStringLiteral("https://cdn.invalid/")));
    const TPackageBuild* pBuild = oReader.packages().front()->platformBuild();
    QVERIFY(pBuild);
    QCOMPARE(pBuild->packagePin().mismatch(aDocument), sMismatch);
    QVERIFY(!pBuild->assetPin().isPresent());
}

void tst_SignedMetadata::serialFloorPerAddressAndKey()
{
    QTemporaryDir oDir;
    const QString sState = oDir.filePath(QStringLiteral("state.ini"));
    const QUrl oLive(QStringLiteral("https://cdn.invalid/launcher/qlxmetadata.json"));
    const QUrl oTest(QStringLiteral("https://test.cdn.invalid/launcher/qlxmetadata.json"));
    const QByteArray aOld = oldKey().publicKey().keyId();
    const QByteArray aNew = newKey().publicKey().keyId();
    {
        QSettings oStore(sState, QSettings::IniFormat);
        TSerialFloor oFloor(oStore, oLive);
        oFloor.raise(aOld, 500);
        oFloor.raise(aOld, 400);
        oFloor.raise(aNew, 300);
    }
    // A new process finds what the last one accepted.
    QSettings oStore(sState, QSettings::IniFormat);
    const TSerialFloor oFloor(oStore, oLive);
    QCOMPARE(oFloor.highest(trusting({&oldKey(), &newKey()})), quint64(500));
    QCOMPARE(oFloor.highest(trusting({&newKey()})), quint64(300));
    QCOMPARE(TSerialFloor(oStore, oTest).highest(trusting({&oldKey(), &newKey()})), quint64(0));
}

QTEST_GUILESS_MAIN(tst_SignedMetadata)
#include "tst_signedmetadata.moc"
