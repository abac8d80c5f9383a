#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// What a build publishes, before it becomes documents.

// One distinct chunk: the bytes of a file between two boundaries, or a whole
// empty file.
struct TPublishedChunk
{
    QByteArray aUnpackedHash;
    quint64 nUnpackedSize = 0;
    // Relative to the documents.
    QString sUrl;
    quint64 nPackedSize = 0;
    QByteArray aPackedHash;
};

struct TPublishedFile
{
    QString sLocalFile;
    quint64 nSize = 0;
    QByteArray aHash;
    bool bExecutable = false;
    // Listed in the asset document rather than the package document.
    bool bAsset = false;
    // Indices into the build's chunk table, in file order.
    std::vector<int> lChunks;
    // Chunk-table index of the file's own packed form (the one chunk of a
    // single-chunk file, the empty chunk of an empty one), or -1 for none.
    int nPackedForm = -1;
};
