#include "cdnchecker.h"

#include "documentreading.h"

#include "launcher/documents/packageconfigurationreader.h"
#include "shared/decompressionerror.h"
#include "shared/packeddata.h"
#include "shared/sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>
#include <QThreadPool>
#include <QUrl>

#include <atomic>

using velmar::launcher::TChunkDescription;
using velmar::launcher::TFileDescription;
using velmar::launcher::TPackageConfigurationReader;

namespace {

// A sound chunk file is never much larger than the largest chunk.
constexpr qint64 kLargestChunkFile = (qint64(1) << 24) + 64 * 1024;

QString documentProblem(const QString& sName, const QByteArray& aBytes)
{
    QJsonParseError oError{};
    const QJsonDocument oDocument = QJsonDocument::fromJson(aBytes, &oError);
    if (oError.error != QJsonParseError::NoError)
        return QStringLiteral("%1 is not JSON: %2 at offset %3").arg(sName, oError.errorString()).arg(oError.offset);
    if (!oDocument.isObject())
        return QStringLiteral("%1 does not hold a JSON object").arg(sName);
    return QString();
}

// A path inside the client folder that the launcher would write as given.
bool isPlainRelativePath(const QString& sPath)
{
    if (sPath.isEmpty() || sPath.startsWith(QLatin1Char('/')) || sPath.contains(QLatin1Char('\\')))
        return false;
    const QStringList lParts = sPath.split(QLatin1Char('/'));
    for (const QString& sPart : lParts) {
        if (sPart.isEmpty() || sPart == QLatin1String(".") || sPart == QLatin1String(".."))
            return false;
    }
    return true;
}

bool sameChunk(const TPackageConfigurationReader& oReader, const TChunkDescription& oLeft, const TChunkDescription& oRight)
{
    return oReader.url(oLeft) == oReader.url(oRight) && oLeft.packedSize() == oRight.packedSize()
           && oLeft.packedHash() == oRight.packedHash() && oLeft.unpackedSize() == oRight.unpackedSize()
           && oLeft.unpackedHash() == oRight.unpackedHash() && oLeft.unpack() == oRight.unpack();
}

} // namespace

TCdnChecker::TCdnChecker(const QString& sFolder, int nJobs)
    : m_sFolder(sFolder)
    , m_sCanonicalFolder(QFileInfo(sFolder).canonicalFilePath())
    , m_sPackageDocument(kPackageDocument)
    , m_sAssetDocument(kAssetDocument)
    , m_bAssetDocumentOptional(true)
    , m_nJobs(std::max(nJobs, 1))
{
}

TCdnChecker::TCdnChecker(const QString& sPackageDocument, const QString& sAssetDocument, int nJobs)
    : m_sFolder(QFileInfo(sPackageDocument).path())
    , m_sCanonicalFolder(QFileInfo(m_sFolder).canonicalFilePath())
    , m_sPackageDocument(QFileInfo(sPackageDocument).fileName())
    , m_nJobs(std::max(nJobs, 1))
{
    // The asset document is named from the package document's folder, where its addresses must lead too.
    if (!sAssetDocument.isEmpty())
        m_sAssetDocument = QDir(m_sCanonicalFolder).relativeFilePath(QFileInfo(sAssetDocument).absoluteFilePath());
}

QStringList TCdnChecker::check()
{
    if (m_sCanonicalFolder.isEmpty() || !QFileInfo(m_sCanonicalFolder).isDir())
        return {QStringLiteral("'%1' is not a folder").arg(QDir::toNativeSeparators(m_sFolder))};
    const QString sPackagePath = m_sCanonicalFolder + QLatin1Char('/') + m_sPackageDocument;
    const QString sAssetPath = m_sAssetDocument.isEmpty() ? QString() : m_sCanonicalFolder + QLatin1Char('/') + m_sAssetDocument;
    QFile oPackage(sPackagePath);
    if (!oPackage.open(QIODevice::ReadOnly))
        return {QStringLiteral("%1 cannot be read: %2").arg(m_sPackageDocument, oPackage.errorString())};
    const QByteArray aPackage = oPackage.readAll();
    QByteArray aAssets;
    QFile oAssets(sAssetPath);
    const bool bAssets = !sAssetPath.isEmpty() && (oAssets.exists() || !m_bAssetDocumentOptional);
    if (bAssets) {
        if (!oAssets.open(QIODevice::ReadOnly))
            return {QStringLiteral("%1 cannot be read: %2").arg(m_sAssetDocument, oAssets.errorString())};
        aAssets = oAssets.readAll();
    }
    QStringList lProblems;
    const QString sPackageProblem = documentProblem(m_sPackageDocument, aPackage);
    if (!sPackageProblem.isEmpty())
        lProblems << sPackageProblem;
    if (bAssets) {
        const QString sAssetProblem = documentProblem(m_sAssetDocument, aAssets);
        if (!sAssetProblem.isEmpty())
            lProblems << sAssetProblem;
    }
    if (!lProblems.isEmpty())
        return lProblems;

    const QUrl oBase = QUrl::fromLocalFile(m_sCanonicalFolder + QLatin1Char('/'));
    const TPackageConfigurationReader oReader(aPackage, aAssets, oBase, oBase);
    if (!oReader.isValid())
        return {QStringLiteral("the launcher cannot read the documents")};
    m_nFileCount = int(oReader.files().size());
    m_nChunkCount = int(oReader.chunks().size());
    lProblems << checkDocuments(oReader);

    // Each file's chunks are unpacked in order and hashed together; a chunk's own
    // sizes and hashes are checked the first time a worker meets it.
    std::vector<std::atomic<bool>> lChunkChecked(oReader.chunks().size());
    std::vector<QStringList> lFileProblems(oReader.files().size());
    QThreadPool oPool;
    oPool.setMaxThreadCount(m_nJobs);
    for (size_t nFile = 0; nFile < oReader.files().size(); ++nFile) {
        oPool.start([&, nFile]() { lFileProblems[nFile] = checkFile(oReader, nFile, lChunkChecked); });
    }
    oPool.waitForDone();
    for (const QStringList& lFile : lFileProblems)
        lProblems << lFile;
    for (size_t nChunk = 0; nChunk < oReader.chunks().size(); ++nChunk) {
        if (!lChunkChecked[nChunk]) {
            loadChunk(oReader, oReader.chunks()[nChunk],
                      QStringLiteral("chunk %1, which no file uses,").arg(nChunk), lProblems);
        }
    }
    for (const TChunkDescription& oChunk : oReader.chunks())
        m_nPackedBytes += oChunk.packedSize();
    return lProblems;
}

QStringList TCdnChecker::checkDocuments(const TPackageConfigurationReader& oReader) const
{
    QStringList lProblems;
    if (oReader.version().isEmpty())
        lProblems << QStringLiteral("%1 names no version").arg(m_sPackageDocument);
    bool bExecutableListed = false;
    QSet<QString> lSeen;
    for (const TFileDescription& oFile : oReader.files()) {
        if (!isPlainRelativePath(oFile.localFile()))
            lProblems << QStringLiteral("file '%1': not a plain relative path").arg(oFile.localFile());
        if (lSeen.contains(oFile.localFile()))
            lProblems << QStringLiteral("file '%1' is listed more than once").arg(oFile.localFile());
        lSeen.insert(oFile.localFile());
        bExecutableListed = bExecutableListed || oFile.localFile() == oReader.executable();
    }
    if (!bExecutableListed)
        lProblems << QStringLiteral("the executable '%1' is not among the files").arg(oReader.executable());
    return lProblems;
}

QByteArray TCdnChecker::loadChunk(const TPackageConfigurationReader& oReader, const TChunkDescription& oChunk,
                                  const QString& sName, QStringList& lProblems) const
{
    const QUrl oUrl = oReader.url(oChunk);
    const QString sPrefix = m_sCanonicalFolder + QLatin1Char('/');
    const QString sLexical = oUrl.isLocalFile() ? QDir::cleanPath(oUrl.toLocalFile()) : QString();
    const bool bInside = !sLexical.isEmpty() && sLexical.startsWith(sPrefix);
    const QString sLabel = QStringLiteral("%1 (%2)").arg(sName, bInside ? sLexical.mid(sPrefix.size()) : oUrl.toString());
    // Resolved, so that a symbolic link cannot lead out of the folder either.
    const QString sPath = bInside ? QFileInfo(sLexical).canonicalFilePath() : QString();
    if (!bInside || (!sPath.isEmpty() && !sPath.startsWith(sPrefix))) {
        lProblems << QStringLiteral("%1: the address does not lead to a file inside the folder").arg(sLabel);
        return QByteArray();
    }
    QFile oFile(sPath);
    if (sPath.isEmpty() || !oFile.open(QIODevice::ReadOnly)) {
        lProblems << QStringLiteral("%1: the chunk file is missing or unreadable").arg(sLabel);
        return QByteArray();
    }
    if (oFile.size() > kLargestChunkFile) {
        lProblems << QStringLiteral("%1: the chunk file is %2 bytes, larger than any chunk").arg(sLabel).arg(oFile.size());
        return QByteArray();
    }
    const QByteArray aPacked = oFile.readAll();
    bool bSound = true;
    const auto expect = [&](bool bHolds, const QString& sProblem) {
        if (!bHolds) {
            lProblems << sLabel + QStringLiteral(": ") + sProblem;
            bSound = false;
        }
    };
    expect(quint64(aPacked.size()) == oChunk.packedSize(),
           QStringLiteral("the chunk file is %1 bytes, packedsize says %2").arg(aPacked.size()).arg(oChunk.packedSize()));
    expect(oChunk.packedHash() == shared::TSha256::hash(aPacked), QStringLiteral("the chunk file's bytes do not hash to packedhash"));
    QByteArray aUnpacked = aPacked;
    if (oChunk.unpack()) {
        try {
            aUnpacked = shared::unpackStrict(aPacked);
        } catch (const shared::TDecompressionError&) {
            expect(false, QStringLiteral("the chunk file does not unpack"));
            return QByteArray();
        }
    }
    expect(quint64(aUnpacked.size()) == oChunk.unpackedSize(),
           QStringLiteral("unpacks to %1 bytes, unpackedsize says %2").arg(aUnpacked.size()).arg(oChunk.unpackedSize()));
    expect(oChunk.unpackedHash() == shared::TSha256::hash(aUnpacked),
           QStringLiteral("the unpacked bytes do not hash to unpackedhash"));
    // An empty result stands for failure, so a sound empty chunk must not look empty.
    return bSound ? (aUnpacked.isNull() ? QByteArray("", 0) : aUnpacked) : QByteArray();
}

QStringList TCdnChecker::checkFile(const TPackageConfigurationReader& oReader, size_t nFile,
                                   std::vector<std::atomic<bool>>& lChunkChecked) const
{
    const TFileDescription& oFile = oReader.files()[nFile];
    const QString sName = QStringLiteral("file '%1'").arg(oFile.localFile());
    QStringList lProblems;
    // The packed form of a one-chunk file is normally that chunk, checked below.
    const bool bFormIsChunk = oFile.chunks().size() == 1 && oFile.chunks().front() >= 0
                              && size_t(oFile.chunks().front()) < oReader.chunks().size()
                              && sameChunk(oReader, oFile.packedForm(), oReader.chunks()[size_t(oFile.chunks().front())]);
    if (oFile.packedForm().hasUrl() && !bFormIsChunk)
        loadChunk(oReader, oFile.packedForm(), sName + QStringLiteral(", its packed form"), lProblems);
    else if (oFile.chunks().empty())
        lProblems << QStringLiteral("%1: has neither chunks nor a packed form").arg(sName);
    if (oFile.chunks().empty())
        return lProblems;

    shared::TSha256 oHash;
    quint64 nSize = 0;
    for (const qint32 nChunk : oFile.chunks()) {
        if (nChunk < 0 || size_t(nChunk) >= oReader.chunks().size()) {
            lProblems << QStringLiteral("%1: chunk index %2 does not exist (there are %3 chunks)")
                             .arg(sName)
                             .arg(nChunk)
                             .arg(oReader.chunks().size());
            return lProblems;
        }
        // Every user of a chunk checks it, but only the first reports what is wrong with it.
        QStringList lChunkProblems;
        const QByteArray aBytes = loadChunk(oReader, oReader.chunks()[size_t(nChunk)],
                                            QStringLiteral("chunk %1").arg(nChunk), lChunkProblems);
        if (!lChunkChecked[size_t(nChunk)].exchange(true))
            lProblems << lChunkProblems;
        if (aBytes.isNull()) {
            lProblems << QStringLiteral("%1: cannot be built, chunk %2 is unusable").arg(sName).arg(nChunk);
            return lProblems;
        }
        oHash.addData(aBytes);
        nSize += quint64(aBytes.size());
    }
    if (nSize != oFile.unpackedSize())
        lProblems << QStringLiteral("%1: its chunks add up to %2 bytes, unpackedsize says %3")
                         .arg(sName)
                         .arg(nSize)
                         .arg(oFile.unpackedSize());
    else if (oFile.unpackedHash() != oHash.result())
        lProblems << QStringLiteral("%1: its chunks do not hash to its unpackedhash").arg(sName);
    return lProblems;
}
