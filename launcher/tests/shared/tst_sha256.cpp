// The SHA-256 helper: the published test vectors, and the incremental form agreeing
// with the one-shot form however the data is split.

#include "packedtestdata.h"

#include "shared/sha256.h"

#include <QtTest>

#include <openssl/crypto.h>
#include <openssl/provider.h>

#include <stdexcept>

namespace {

// While it lives, this thread's default OpenSSL library context offers only the
// null provider, so that every fetch of SHA-256 fails.
class TNoDigestContext
{
public:
    TNoDigestContext()
        : m_pContext(OSSL_LIB_CTX_new())
        , m_pProvider(OSSL_PROVIDER_load(m_pContext, "null"))
        , m_pPrevious(OSSL_LIB_CTX_set0_default(m_pContext))
    {
    }
    ~TNoDigestContext()
    {
        OSSL_LIB_CTX_set0_default(m_pPrevious);
        OSSL_PROVIDER_unload(m_pProvider);
        OSSL_LIB_CTX_free(m_pContext);
    }
    TNoDigestContext(const TNoDigestContext&) = delete;
    TNoDigestContext& operator=(const TNoDigestContext&) = delete;

private:
    OSSL_LIB_CTX* m_pContext;
    OSSL_PROVIDER* m_pProvider;
    OSSL_LIB_CTX* m_pPrevious;
};

} // namespace

class TSha256Test : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data();
    void knownDigests();
    void incrementalMatchesOneShot_data();
    void incrementalMatchesOneShot();
    void resultStartsOver();
    void digestFailuresThrow();
};

void TSha256Test::knownDigests_data()
{
    QTest::addColumn<QByteArray>("aMessage");
    QTest::addColumn<QByteArray>("aDigestHex");
    QTest::newRow("empty") << QByteArray() << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    QTest::newRow("a million a") << QByteArray(1000000, 'a')
                                 << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

void TSha256Test::knownDigests()
{
    QFETCH(QByteArray, aMessage);
    QFETCH(QByteArray, aDigestHex);
    const QByteArray aDigest = shared::TSha256::hash(aMessage);
    QCOMPARE(aDigest.size(), shared::TSha256::kDigestSize);
    QCOMPARE(aDigest.toHex(), aDigestHex);
    shared::TSha256 oHash;
    oHash.addData(aMessage);
    QCOMPARE(oHash.result().toHex(), aDigestHex);
}

void TSha256Test::incrementalMatchesOneShot_data()
{
    QTest::addColumn<int>("nPiece");
    // Around the 64-byte block and beyond it.
    for (const int nPiece : {1, 55, 65, 65536})
        QTest::addRow("pieces of %d", nPiece) << nPiece;
}

void TSha256Test::incrementalMatchesOneShot()
{
    QFETCH(int, nPiece);
    const QByteArray aData = noiseBytes(300001, 31);
    shared::TSha256 oHash;
    for (int nOffset = 0; nOffset < aData.size(); nOffset += nPiece)
        oHash.addData(aData.constData() + nOffset, static_cast<size_t>(qMin(nPiece, aData.size() - nOffset)));
    QCOMPARE(oHash.result(), shared::TSha256::hash(aData));
}

void TSha256Test::resultStartsOver()
{
    shared::TSha256 oHash;
    oHash.addData(QByteArray("first message"));
    oHash.result();
    oHash.addData(QByteArray("abc"));
    QCOMPARE(oHash.result(), shared::TSha256::hash(QByteArray("abc")));
    QCOMPARE(oHash.result(), shared::TSha256::hash(QByteArray()));
}

void TSha256Test::digestFailuresThrow()
{
    const QByteArray aExpected = shared::TSha256::hash(QByteArray("abc"));
    shared::TSha256 oHash;
    oHash.addData(QByteArray("abc"));
    {
        TNoDigestContext oNoDigest;
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

QTEST_GUILESS_MAIN(TSha256Test)
#include "tst_sha256.moc"
