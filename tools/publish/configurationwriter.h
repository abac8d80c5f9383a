#pragma once

#include "publishedclient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

// The text of the package document and the asset document of one build.
//
// The launcher appends the asset document's chunks to the package document's and
// takes every file's chunk indices as written, so the asset document numbers its
// chunks on from the package document's and refers to package chunks directly.
// Each distinct chunk is listed once, where it first appears: package files
// first, then asset files, each in their order.
class TConfigurationWriter
{
public:
    explicit TConfigurationWriter(const std::deque<TPublishedChunk>& lChunks);

    QByteArray packageDocument(const QString& sVersion, const QString& sExecutable, const QString& sGeneration,
                               const QString& sVariant, const QStringList& lParameters,
                               const std::vector<const TPublishedFile*>& lFiles);
    // Call after packageDocument().
    QByteArray assetDocument(const QString& sVersion, const std::vector<const TPublishedFile*>& lFiles);

private:
    QByteArray chunksAndFiles(const std::vector<const TPublishedFile*>& lFiles);
    QByteArray fileObject(const TPublishedFile& oFile) const;

    const std::deque<TPublishedChunk>& m_lChunks;
    // Document index of each chunk-table entry, -1 while unlisted.
    std::vector<int> m_lDocumentIndex;
    int m_nNextIndex = 0;
};
