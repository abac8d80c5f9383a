#include "readcache.h"

#include "toolio.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kFormatKey = QStringLiteral("corvane-publish cache");
constexpr int kFormat = 1;
// Fields of one file's entry: path, size, modified, changed, inode, device,
// hash, then the chunks as hash and size pairs.
constexpr int kFileFields = 8;
constexpr int kSha256Size = 32;
// File systems that stamp whole seconds (two on some) tell nothing about the
// order of changes within that time.
constexpr qint64 kCoarseStampGranularity = 2000000000;
constexpr qint64 kNanosecondsPerSecond = 1000000000;

// 64-bit figures are written as text: JSON numbers hold 53 bits.
QJsonValue figure(quint64 nValue)
{
    return QString::number(nValue);
}

QJsonValue signedFigure(qint64 nValue)
{
    return QString::number(nValue);
}

bool readFigure(const QJsonValue& oValue, quint64& nResult)
{
    bool bNumber = false;
    nResult = oValue.toString().toULongLong(&bNumber);
    return bNumber;
}

bool readSignedFigure(const QJsonValue& oValue, qint64& nResult)
{
    bool bNumber = false;
    nResult = oValue.toString().toLongLong(&bNumber);
    return bNumber;
}

bool readHash(const QJsonValue& oValue, QByteArray& aResult)
{
    const QString sHex = oValue.toString();
    aResult = QByteArray::fromHex(sHex.toLatin1());
    return aResult.size() == kSha256Size && sHex.size() == 2 * kSha256Size;
}

bool readFile(const QJsonArray& lFields, TReadCache::TFile& oFile)
{
    if (lFields.size() != kFileFields || !lFields.at(0).isString())
        return false;
    TSourceFile& oStamp = oFile.oStamp;
    oStamp.sPath = lFields.at(0).toString();
    const QJsonArray lChunks = lFields.at(7).toArray();
    if (!readFigure(lFields.at(1), oStamp.nSize) || !readSignedFigure(lFields.at(2), oStamp.nModified)
        || !readSignedFigure(lFields.at(3), oStamp.nChanged) || !readFigure(lFields.at(4), oStamp.nInode)
        || !readFigure(lFields.at(5), oStamp.nDevice) || !readHash(lFields.at(6), oFile.aHash) || lChunks.size() % 2)
        return false;
    quint64 nTotal = 0;
    for (int nIndex = 0; nIndex < lChunks.size(); nIndex += 2) {
        TReadCache::TChunk oChunk;
        if (!readHash(lChunks.at(nIndex), oChunk.aHash) || !readFigure(lChunks.at(nIndex + 1), oChunk.nSize))
            return false;
        nTotal += oChunk.nSize;
        oFile.lChunks.push_back(oChunk);
    }
    return nTotal == oStamp.nSize;
}

} // namespace

const QString TReadCache::kFileName = QStringLiteral(".corvane-publish.cache");

TReadCache::TReadCache(const QString& sOutputFolder)
{
    QFile oFile(sOutputFolder + QLatin1Char('/') + kFileName);
    if (oFile.open(QIODevice::ReadOnly))
        read(oFile.readAll());
}

TReadCache TReadCache::fromBytes(const QByteArray& aBytes)
{
    TReadCache oCache;
    oCache.read(aBytes);
    return oCache;
}

void TReadCache::read(const QByteArray& aBytes)
{
    const QJsonObject oRoot = QJsonDocument::fromJson(aBytes).object();
    if (oRoot.value(kFormatKey).toInt() != kFormat)
        return;
    const QJsonArray lFiles = oRoot.value(QStringLiteral("files")).toArray();
    for (const QJsonValue& oEntry : lFiles) {
        TFile oFile;
        if (readFile(oEntry.toArray(), oFile))
            m_hFiles.insert(oFile.oStamp.sPath, oFile);
    }
    const QJsonObject oChunks = oRoot.value(QStringLiteral("chunks")).toObject();
    for (auto oEntry = oChunks.constBegin(); oEntry != oChunks.constEnd(); ++oEntry) {
        const QJsonArray lFields = oEntry.value().toArray();
        TPackedChunk oChunk;
        if (lFields.size() == 2 && readFigure(lFields.at(0), oChunk.nPackedSize)
            && readHash(lFields.at(1), oChunk.aPackedHash))
            m_hPackedChunks.insert(oEntry.key(), oChunk);
    }
}

const TReadCache::TFile* TReadCache::file(const TSourceFile& oSource) const
{
    const auto oFound = m_hFiles.constFind(oSource.sPath);
    if (oFound == m_hFiles.constEnd())
        return nullptr;
    const TSourceFile& oStamp = oFound->oStamp;
    const bool bSame = oStamp.nSize == oSource.nSize && oStamp.nModified == oSource.nModified
                       && oStamp.nChanged == oSource.nChanged && oStamp.nInode == oSource.nInode
                       && oStamp.nDevice == oSource.nDevice;
    return bSame ? &oFound.value() : nullptr;
}

const TReadCache::TPackedChunk* TReadCache::packedChunk(const QString& sUrl) const
{
    const auto oFound = m_hPackedChunks.constFind(sUrl);
    return oFound == m_hPackedChunks.constEnd() ? nullptr : &oFound.value();
}

bool TReadCache::settled(const TSourceFile& oSource, qint64 nWalkStarted)
{
    const bool bWholeSeconds =
        oSource.nModified % kNanosecondsPerSecond == 0 && oSource.nChanged % kNanosecondsPerSecond == 0;
    return oSource.nChanged < nWalkStarted - (bWholeSeconds ? kCoarseStampGranularity : 0);
}

void TReadCache::save(const QString& sOutputFolder, qint64 nWalkStarted, const std::vector<TSourceFile>& lSources,
                      const std::vector<TPublishedFile>& lFiles, const std::deque<TPublishedChunk>& lChunks)
{
    QJsonArray lFileEntries;
    for (size_t nIndex = 0; nIndex < lSources.size(); ++nIndex) {
        const TSourceFile& oSource = lSources[nIndex];
        if (!settled(oSource, nWalkStarted))
            continue;
        QJsonArray lChunkFields;
        for (const int nChunk : lFiles[nIndex].lChunks) {
            lChunkFields << QString::fromLatin1(lChunks[size_t(nChunk)].aUnpackedHash.toHex())
                         << figure(lChunks[size_t(nChunk)].nUnpackedSize);
        }
        lFileEntries << QJsonArray{oSource.sPath,
                                   figure(oSource.nSize),
                                   signedFigure(oSource.nModified),
                                   signedFigure(oSource.nChanged),
                                   figure(oSource.nInode),
                                   figure(oSource.nDevice),
                                   QString::fromLatin1(lFiles[nIndex].aHash.toHex()),
                                   lChunkFields};
    }
    QJsonObject oChunkEntries;
    for (const TPublishedChunk& oChunk : lChunks)
        oChunkEntries.insert(oChunk.sUrl,
                             QJsonArray{figure(oChunk.nPackedSize), QString::fromLatin1(oChunk.aPackedHash.toHex())});
    const QJsonObject oRoot{{kFormatKey, kFormat}, {QStringLiteral("files"), lFileEntries},
                            {QStringLiteral("chunks"), oChunkEntries}};
    writeFileAtomically(sOutputFolder + QLatin1Char('/') + kFileName, QJsonDocument(oRoot).toJson(QJsonDocument::Compact));
}
