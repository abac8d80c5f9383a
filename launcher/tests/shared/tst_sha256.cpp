// The SHA-256 helper: the published test vectors, and the incremental form agreeing
// with the one-shot form however the data is split.

#include "shared/sha256.h"
#include "shared/sha256digest.h"

#include <QtTest>

#include <openssl/crypto.h>
#include <openssl/provider.h>

#include <stdexcept>

class TSha256Test : public QObject
{
    Q_OBJECT

private slots:
    void digests_data();
    void digests();
    void digestFailuresThrow();
    void digestsFromHex();
};

void TSha256Test::digests_data()
{
    QTest::addColumn<QByteArray>("aMessage");
    QTest::addColumn<QByteArray>("aDigestHex");
    QTest::newRow("empty") << QByteArray() << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QTest::newRow("a million a") << QByteArray(1000000, 'a')
                                 << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The published vectors, one shot and in pieces around the 64-byte block; a
// result starts the next digest afresh.
void TSha256Test::digests()
{
    QFETCH(QByteArray, aMessage);
    QFETCH(QByteArray, aDigestHex);
    QCOMPARE(shared::TSha256::hash(aMessage).toHex(), aDigestHex);
    shared::TSha256 oHash;
    oHash.addData(QByteArray("an earlier message"));
    oHash.result();
    for (const int nPiece : {1, 55, 65, 65536}) {
        for (int nOffset = 0; nOffset < aMessage.size(); nOffset += nPiece)
            oHash.addData(aMessage.constData() + nOffset, static_cast<size_t>(qMin(nPiece, aMessage.size() - nOffset)));
        QCOMPARE(oHash.result().toHex(), aDigestHex);
    }
}

void TSha256Test::digestFailuresThrow()
{
    const QByteArray aExpected = shared::TSha256::hash(QByteArray("abc"));
    shared::TSha256 oHash;
    oHash.addData(QByteArray("abc"));
    {
        // This thread's default OpenSSL library context offers only the null provider
        // for a while, so that every fetch of SHA-256 fails.
        OSSL_LIB_CTX* pContext = OSSL_LIB_CTX_new();
        OSSL_PROVIDER* pProvider = OSSL_PROVIDER_load(pContext, "null");
        OSSL_LIB_CTX* pPrevious = OSSL_LIB_CTX_set0_default(pContext);
        const auto oRestore = qScopeGuard([&] {
            OSSL_LIB_CTX_set0_default(pPrevious);
            OSSL_PROVIDER_unload(pProvider);
            OSSL_LIB_CTX_free(pContext);
        });
        QVERIFY_EXCEPTION_THROWN(shared::TSha256::hash(QByteArray("abc")), std::runtime_error);
        QVERIFY_EXCEPTION_THROWN(shared::TSha256(), std::runtime_error);
        // The digest under way was fetched before; starting over needs a new fetch.
        QCOMPARE(oHash.result(), aExpected);
        QVERIFY_EXCEPTION_THROWN(oHash.addData(QByteArray("abc")), std::runtime_error);
        QVERIFY_EXCEPTION_THROWN(oHash.result(), std::runtime_error);
    }
    oHash.addData(QByteArray("abc"));
    QCOMPARE(oHash.result(), aExpected);
}

// Every character code at each end of every block of sixteen digits, where a
// decoder that takes several at once could let one through: a digest comes only
// from 64 digits in either letter case, each giving its own value.
void TSha256Test::digestsFromHex()
{
    const QByteArray aDigits("0123456789abcdefABCDEF0123456789fedcba9876543210FEDCBA9876543210");
    QCOMPARE(shared::TSha256Digest::fromHex(QLatin1String(aDigits)).toByteArray(), QByteArray::fromHex(aDigits));
    QVERIFY(shared::TSha256Digest::fromHex(QLatin1String(aDigits.left(63))).isEmpty());
    QVERIFY(shared::TSha256Digest::fromHex(QLatin1String(aDigits + '0')).isEmpty());
    const auto fnIsDigit = [](int nCode) {
        return (nCode >= '0' && nCode <= '9') || (nCode >= 'a' && nCode <= 'f') || (nCode >= 'A' && nCode <= 'F');
    };
    for (const int nAt : {0, 1, 14, 15, 16, 17, 31, 32, 47, 48, 62, 63}) {
        for (int nCode = 0; nCode < 256; ++nCode) {
            QByteArray aHex = aDigits;
            aHex[nAt] = char(nCode);
            const shared::TSha256Digest oDigest = shared::TSha256Digest::fromHex(QLatin1String(aHex));
            if (fnIsDigit(nCode))
                QCOMPARE(oDigest.toByteArray(), QByteArray::fromHex(aHex));
            else if (!oDigest.isEmpty())
                QFAIL(qPrintable(QStringLiteral("code %1 at %2 made a digest").arg(nCode).arg(nAt)));
        }
    }
}

QTEST_GUILESS_MAIN(TSha256Test)
#include "tst_sha256.moc"
