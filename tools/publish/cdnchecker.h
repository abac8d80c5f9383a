#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

namespace velmar::launcher {
class TChunkDescription;
class TPackageConfigurationReader;
} // namespace velmar::launcher

// Checks a published CDN folder the way the launcher would see it, without any
// network: the documents are read with the launcher's own reader, every address
// must be a file inside the folder, every chunk file must match its packed size
// and hash and unpack to its unpacked size and hash, and every file's chunks must
// add up to the file's size and hash.
class TCdnChecker
{
public:
    // The folder's package.json and, when there is one, its assets.json.
    TCdnChecker(const QString& sFolder, int nJobs);
    // The documents named; every address must lead into the package document's
    // folder. An empty asset path stands for none.
    TCdnChecker(const QString& sPackageDocument, const QString& sAssetDocument, int nJobs);

    // The problems found, in a stable order; empty when the folder is sound.
    QStringList check();

    int fileCount() const { return m_nFileCount; }
    int chunkCount() const { return m_nChunkCount; }
    quint64 packedBytes() const { return m_nPackedBytes; }

private:
    QStringList checkDocuments(const velmar::launcher::TPackageConfigurationReader& oReader) const;
    // The chunk's unpacked bytes, or a null array after adding the reasons why
    // they are not what its description says.
    QByteArray loadChunk(const velmar::launcher::TPackageConfigurationReader& oReader,
                         const velmar::launcher::TChunkDescription& oChunk, const QString& sName,
                         QStringList& lProblems) const;
    QStringList checkFile(const velmar::launcher::TPackageConfigurationReader& oReader, size_t nFile,
                          std::vector<std::atomic<bool>>& lChunkChecked) const;

    QString m_sFolder;
    QString m_sCanonicalFolder;
    QString m_sPackageDocument;
    QString m_sAssetDocument;
    bool m_bAssetDocumentOptional = false;
    int m_nJobs;
    int m_nFileCount = 0;
    int m_nChunkCount = 0;
    quint64 m_nPackedBytes = 0;
};
