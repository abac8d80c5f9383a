#include "launcher/engine/contentchunker.h"
#include "launcher/engine/hashingchunker.h"

#include "shared/sha256.h"

#include "noisebytes.h"
#include "testfiles.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace velmar::launcher;

namespace {

constexpr size_t kMiB = size_t(1) << 20;

// Chunks as "<length> <SHA-256>" lines, which compare and print as text, and
// their bytes one after another, to be compared with the input. Any chunker's
// callback, hashed or not, by std::ref.
struct TChunks
{
    void operator()(const char* pChunk, size_t nLength, const QByteArray& aHash)
    {
        lLines << QStringLiteral("%1 %2").arg(nLength).arg(QString::fromLatin1(aHash.toHex()));
        aJoined.append(pChunk, int(nLength));
    }
    void operator()(const char* pChunk, size_t nLength) { (*this)(pChunk, nLength, shared::TSha256::hash(pChunk, nLength)); }
    QString lengths() const
    {
        QStringList lLengths;
        for (const QString& sLine : lLines)
            lLengths << sLine.section(QLatin1Char(' '), 0, 0);
        return lLengths.join(QLatin1Char(' '));
    }

    QStringList lLines;
    QByteArray aJoined;
};

// Hands out at most a fixed number of bytes per read, like a pipe or a slow disk,
// and fails from nFailAt on.
class TTricklingDevice : public QIODevice
{
public:
    TTricklingDevice(const QByteArray& aData, qint64 nMaximumRead, qint64 nFailAt = -1)
        : m_aData(aData), m_nMaximumRead(nMaximumRead), m_nFailAt(nFailAt < 0 ? aData.size() + 1 : nFailAt)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* pData, qint64 nMaximum) override
    {
        if (m_nPosition >= m_nFailAt) {
            setErrorString(QStringLiteral("simulated read failure"));
            return -1;
        }
        const qint64 nCount = std::min({nMaximum, m_nMaximumRead, m_aData.size() - m_nPosition, m_nFailAt - m_nPosition});
        std::memcpy(pData, m_aData.constData() + m_nPosition, static_cast<size_t>(nCount));
        m_nPosition += nCount;
        return nCount;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_aData;
    qint64 m_nMaximumRead;
    qint64 m_nFailAt;
    qint64 m_nPosition = 0;
};

TChunks chunksOf(QIODevice& oDevice, size_t nBufferSize = TContentChunker::kDefaultBufferSize)
{
    TChunks oChunks;
    TContentChunker(nBufferSize).chunkDevice(oDevice, std::ref(oChunks));
    return oChunks;
}

TChunks chunksOfBytes(QByteArray aInput)
{
    QBuffer oBuffer(&aInput);
    oBuffer.open(QIODevice::ReadOnly);
    return chunksOf(oBuffer);
}

} // namespace

class TContentChunkerTest : public QObject
{
    Q_OBJECT

private:
    QByteArray m_aRandom;
    QStringList m_lReference;

private slots:
    void initTestCase();
    void goldenLengths_data();
    void goldenLengths();
    void otherReadersChunkAlike();
    void readFailureThrowsAfterEarlierChunks();
};

void TContentChunkerTest::initTestCase()
{
    m_aRandom = noiseBytes(int(72 * kMiB), 20240611);
    m_lReference = chunksOfBytes(m_aRandom).lLines;
}

void TContentChunkerTest::goldenLengths_data()
{
    QTest::addColumn<QByteArray>("aInput");
    QTest::addColumn<QString>("sExpected");

    QTest::newRow("one byte") << QByteArray(1, 'x') << QStringLiteral("1");
    QTest::newRow("4 MiB + 1 byte of noise is one chunk") << m_aRandom.left(4 * kMiB + 1) << QStringLiteral("4194305");
    // Zeros drive the hash to a fixed point that never matches the mask.
    QTest::newRow("20 MiB of zeros cut at the maximum") << QByteArray(20 * kMiB, '\0')
                                                       << QStringLiteral("16777216 4194304");
    QTest::newRow("noise with boundaries")
        << m_aRandom
        << QStringLiteral("5848632 6839230 4362369 16777216 7315891 6944664 16777216 5036908 5595346");
    // Inserted bytes move only the boundary in front of them: the others follow the content.
    QTest::newRow("the same noise behind 3 MiB of zeros")
        << QByteArray(3 * kMiB, '\0') + m_aRandom.left(40 * kMiB)
        << QStringLiteral("8994360 6839230 4362369 16777216 7315891 799702");
}

void TContentChunkerTest::goldenLengths()
{
    QFETCH(QByteArray, aInput);
    const TChunks oChunks = chunksOfBytes(aInput);
    QTEST(oChunks.lengths(), "sExpected");
    QVERIFY2(oChunks.aJoined == aInput, "chunk bytes differ from the input at the same place");
}

void TContentChunkerTest::otherReadersChunkAlike()
{
    // Odd short reads into the smallest buffer, which moves its contents often.
    TTricklingDevice oDevice(m_aRandom, 65537);
    QCOMPARE(chunksOf(oDevice, kMiB).lLines, m_lReference);

    // A file hashed on a second thread: the same chunks, bytes and hashes, also
    // where the buffer moves its contents.
    QTemporaryDir oDir;
    const QString sPath = oDir.filePath(QStringLiteral("file.bin"));
    QVERIFY(writeTestFile(sPath, m_aRandom));
    TChunks oHashed;
    QVERIFY(chunkAndHashFileByContent(sPath, std::ref(oHashed)));
    QCOMPARE(oHashed.lLines, m_lReference);
    QVERIFY(oHashed.aJoined == m_aRandom);
}

void TContentChunkerTest::readFailureThrowsAfterEarlierChunks()
{
    // Past the first two chunks (see the golden lengths) and a maximal one.
    const qint64 nFailAt = 5848632 + 6839230 + qint64(16 * kMiB) + 10;
    TTricklingDevice oDevice(m_aRandom, 4 * kMiB, nFailAt);
    TChunks oSeen;
    try {
        TContentChunker(kMiB).chunkDevice(oDevice, std::ref(oSeen));
        QFAIL("a failed read must not look like the end of the file");
    } catch (const std::runtime_error& oError) {
        QCOMPARE(QString::fromUtf8(oError.what()), QStringLiteral("simulated read failure"));
    }
    QVERIFY(oSeen.lLines.size() >= 2);
    QCOMPARE(oSeen.lLines, m_lReference.mid(0, oSeen.lLines.size()));

    // The chunk still being hashed when the read fails is waited for, not reported.
    TTricklingDevice oAgain(m_aRandom, 4 * kMiB, nFailAt);
    TChunks oHashed;
    QVERIFY_EXCEPTION_THROWN(THashingChunker().chunkDevice(oAgain, std::ref(oHashed)), std::runtime_error);
    QVERIFY(oHashed.lLines.size() >= 1 && oHashed.lLines.size() <= oSeen.lLines.size());
    QCOMPARE(oHashed.lLines, m_lReference.mid(0, oHashed.lLines.size()));
}

QTEST_GUILESS_MAIN(TContentChunkerTest)
#include "tst_contentchunker.moc"
