#include "launcher/contentchunker.h"
#include "launcher/hashingchunker.h"

#include "shared/sha256.h"

#include "noisebytes.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <vector>

using velmar::launcher::TContentChunker;
using velmar::launcher::chunkFileByContent;
using velmar::launcher::chunkAndHashFileByContent;
using velmar::launcher::THashingChunker;

namespace {

constexpr size_t kMiB = size_t(1) << 20;

struct TChunk
{
    size_t nOffset;
    size_t nLength;
    QByteArray aHash;
    bool operator==(const TChunk& oOther) const
    {
        return nOffset == oOther.nOffset && nLength == oOther.nLength && aHash == oOther.aHash;
    }
};
using TChunkList = std::vector<TChunk>;

std::vector<size_t> lengthsOf(const TChunkList& lChunks)
{
    std::vector<size_t> lLengths;
    for (const TChunk& oChunk : lChunks)
        lLengths.push_back(oChunk.nLength);
    return lLengths;
}

QString describe(const std::vector<size_t>& lLengths)
{
    QStringList lParts;
    for (size_t n : lLengths)
        lParts << QString::number(n);
    return lParts.join(QLatin1Char(' '));
}

// Hands out at most a fixed number of bytes per read, like a pipe or a slow disk.
class TTricklingDevice : public QIODevice
{
public:
    TTricklingDevice(const QByteArray& aData, qint64 nMaximumRead, qint64 nFailAt = -1)
        : m_aData(aData), m_nMaximumRead(nMaximumRead), m_nFailAt(nFailAt)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* pData, qint64 nMaximum) override
    {
        if (m_nFailAt >= 0 && m_nPosition >= m_nFailAt) {
            setErrorString(QStringLiteral("simulated read failure"));
            return -1;
        }
        qint64 nCount = std::min({nMaximum, m_nMaximumRead, static_cast<qint64>(m_aData.size()) - m_nPosition});
        if (m_nFailAt >= 0)
            nCount = std::min(nCount, m_nFailAt - m_nPosition);
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

TChunkList collect(TContentChunker& oChunker, QIODevice& oDevice)
{
    TChunkList lChunks;
    size_t nOffset = 0;
    oChunker.chunkDevice(oDevice, [&](const char* pChunk, size_t nLength) {
        lChunks.push_back({nOffset, nLength, shared::TSha256::hash(pChunk, nLength)});
        nOffset += nLength;
    });
    return lChunks;
}

// The chunks follow one another over the whole input and hold its bytes.
bool coversInput(const TChunkList& lChunks, const QByteArray& aInput)
{
    size_t nOffset = 0;
    for (const TChunk& oChunk : lChunks) {
        if (oChunk.nOffset != nOffset || oChunk.nLength == 0
            || oChunk.aHash != shared::TSha256::hash(aInput.constData() + nOffset, oChunk.nLength))
            return false;
        nOffset += oChunk.nLength;
    }
    return nOffset == size_t(aInput.size());
}

TChunkList chunksOfBytes(QByteArray aInput)
{
    QBuffer oBuffer(&aInput);
    oBuffer.open(QIODevice::ReadOnly);
    TContentChunker oChunker;
    return collect(oChunker, oBuffer);
}

} // namespace

class TContentChunkerTest : public QObject
{
    Q_OBJECT

private:
    QByteArray m_aRandom;

private slots:
    void initTestCase();
    void goldenLengths_data();
    void goldenLengths();
    void boundariesIgnoreReadSizes_data();
    void boundariesIgnoreReadSizes();
    void chunksFilesOnDisk_data();
    void chunksFilesOnDisk();
    void missingFileYieldsNothing();
    void readFailureThrowsAfterEarlierChunks();
};

void TContentChunkerTest::initTestCase()
{
    m_aRandom = noiseBytes(int(72 * kMiB), 20240611);
}

void TContentChunkerTest::goldenLengths_data()
{
    QTest::addColumn<QByteArray>("aInput");
    QTest::addColumn<QString>("sExpected");

    QTest::newRow("one byte") << QByteArray(1, 'x') << QStringLiteral("1");
    QTest::newRow("4 MiB of noise is one chunk") << m_aRandom.left(4 * kMiB) << QStringLiteral("4194304");
    QTest::newRow("4 MiB + 1 byte is one chunk") << m_aRandom.left(4 * kMiB + 1) << QStringLiteral("4194305");
    // Zeros drive the hash to a fixed point that never matches the mask.
    QTest::newRow("20 MiB of zeros cut at the maximum") << QByteArray(20 * kMiB, '\0')
                                                       << QStringLiteral("16777216 4194304");
    QTest::newRow("32 MiB of zeros: two maximal chunks") << QByteArray(32 * kMiB, '\0')
                                                         << QStringLiteral("16777216 16777216");
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
    const TChunkList lChunks = chunksOfBytes(aInput);
    QTEST(describe(lengthsOf(lChunks)), "sExpected");
    QVERIFY2(coversInput(lChunks, aInput), "chunk bytes differ from the input at the same place");
}

void TContentChunkerTest::boundariesIgnoreReadSizes_data()
{
    QTest::addColumn<qint64>("nDeviceRead");
    QTest::addColumn<qint64>("nChunkerRead");

    QTest::newRow("odd trickle, small buffer") << qint64(65537) << qint64(kMiB);
    QTest::newRow("7 MiB reads, 5 MiB + 1 buffer") << qint64(7 * kMiB) << qint64(5 * kMiB + 1);
}

void TContentChunkerTest::boundariesIgnoreReadSizes()
{
    QFETCH(qint64, nDeviceRead);
    QFETCH(qint64, nChunkerRead);

    TTricklingDevice oDevice(m_aRandom, nDeviceRead);
    TContentChunker oChunker(static_cast<size_t>(nChunkerRead));
    const TChunkList lChunks = collect(oChunker, oDevice);
    QVERIFY2(lChunks == chunksOfBytes(m_aRandom), qPrintable(QStringLiteral("boundaries %1").arg(describe(lengthsOf(lChunks)))));
}

void TContentChunkerTest::chunksFilesOnDisk_data()
{
    QTest::addColumn<QByteArray>("aContent");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("small") << QByteArray("hello");
    QTest::newRow("20 MiB of zeros") << QByteArray(20 * kMiB, '\0');
    QTest::newRow("noise") << m_aRandom;
}

void TContentChunkerTest::chunksFilesOnDisk()
{
    QFETCH(QByteArray, aContent);

    QTemporaryDir oDir;
    QVERIFY(oDir.isValid());
    const QString sPath = oDir.filePath(QStringLiteral("file.bin"));
    QFile oFile(sPath);
    QVERIFY2(oFile.open(QIODevice::WriteOnly) && oFile.write(aContent) == aContent.size(), qPrintable(oFile.errorString()));
    oFile.close();

    TChunkList lChunks;
    size_t nOffset = 0;
    QVERIFY(chunkFileByContent(sPath, [&](const char* pChunk, size_t nLength) {
        lChunks.push_back({nOffset, nLength, shared::TSha256::hash(pChunk, nLength)});
        nOffset += nLength;
    }));
    QVERIFY(lChunks == chunksOfBytes(aContent));
    for (size_t i = 0; i + 1 < lChunks.size(); ++i)
        QVERIFY2(lChunks[i].nLength >= 4 * kMiB && lChunks[i].nLength <= 16 * kMiB, "chunk size out of bounds");

    // Hashed on a second thread: the same chunks, bytes and hashes, also where the
    // buffer moves its contents (72 MiB of noise).
    TChunkList lHashed;
    nOffset = 0;
    QVERIFY(chunkAndHashFileByContent(sPath, [&](const char* pChunk, size_t nLength, const QByteArray& aHash) {
        QCOMPARE(shared::TSha256::hash(pChunk, nLength), aHash);
        lHashed.push_back({nOffset, nLength, aHash});
        nOffset += nLength;
    }));
    QVERIFY(lHashed == lChunks);
}

void TContentChunkerTest::missingFileYieldsNothing()
{
    QTemporaryDir oDir;
    int nCalls = 0;
    QVERIFY(!chunkFileByContent(oDir.filePath(QStringLiteral("absent")), [&](const char*, size_t) { ++nCalls; }));
    QVERIFY(!chunkFileByContent(oDir.path(), [&](const char*, size_t) { ++nCalls; }));
    QVERIFY(!chunkAndHashFileByContent(oDir.filePath(QStringLiteral("absent")),
                                       [&](const char*, size_t, const QByteArray&) { ++nCalls; }));
    QCOMPARE(nCalls, 0);
}

void TContentChunkerTest::readFailureThrowsAfterEarlierChunks()
{
    const std::vector<size_t> lReference = lengthsOf(chunksOfBytes(m_aRandom));
    const qint64 nFailAt = static_cast<qint64>(lReference[0] + lReference[1] + 16 * kMiB + 10);
    TTricklingDevice oDevice(m_aRandom, 4 * kMiB, nFailAt);
    TContentChunker oChunker(kMiB);
    std::vector<size_t> lSeen;
    bool bThrown = false;
    try {
        oChunker.chunkDevice(oDevice, [&](const char*, size_t nLength) { lSeen.push_back(nLength); });
    } catch (const std::runtime_error& oError) {
        bThrown = true;
        QCOMPARE(QString::fromUtf8(oError.what()), QStringLiteral("simulated read failure"));
    }
    QVERIFY2(bThrown, "a failed read must not look like the end of the file");
    QVERIFY(lSeen.size() >= 2);
    for (size_t i = 0; i < lSeen.size(); ++i)
        QCOMPARE(lSeen[i], lReference[i]);

    // The chunk still being hashed when the read fails is waited for, not reported.
    TTricklingDevice oAgain(m_aRandom, 4 * kMiB, nFailAt);
    std::vector<size_t> lHashed;
    QVERIFY_EXCEPTION_THROWN(THashingChunker().chunkDevice(oAgain, [&](const char*, size_t nLength, const QByteArray&) {
        lHashed.push_back(nLength);
    }),
                             std::runtime_error);
    QVERIFY(lHashed.size() >= 1 && lHashed.size() <= lSeen.size());
    for (size_t i = 0; i < lHashed.size(); ++i)
        QCOMPARE(lHashed[i], lReference[i]);
}

QTEST_GUILESS_MAIN(TContentChunkerTest)
#include "tst_contentchunker.moc"
