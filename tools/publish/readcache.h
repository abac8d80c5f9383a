#pragma once

#include "publishedclient.h"
#include "sourcetree.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <deque>
#include <vector>

// What earlier builds into a CDN folder learnt about the files they read, kept in
// ".corvane-publish.cache" inside it: per source file, the size, modification
// and change time, inode and device it had and the chunks it was cut into; per
// chunk file, its packed size and hash. A build takes an unchanged file from
// here instead of reading it again.
//
// A file whose change time is not clearly before the walk that found it is never
// kept: a change in the same tick of the file system's clock would leave every
// stamp as it was, so such a file is read again by the next build.
class TReadCache
{
public:
    struct TChunk
    {
        QByteArray aHash;
        quint64 nSize = 0;
    };
    struct TFile
    {
        TSourceFile oStamp;
        // The whole file's SHA-256; its chunks in order, none for an empty file.
        QByteArray aHash;
        std::vector<TChunk> lChunks;
    };
    struct TPackedChunk
    {
        quint64 nPackedSize = 0;
        QByteArray aPackedHash;
    };

    static const QString kFileName;

    // A missing, unreadable or damaged cache is an empty one: the build reads
    // every file, as it would without one.
    explicit TReadCache(const QString& sOutputFolder);
    // The cache that these bytes of a cache file describe.
    static TReadCache fromBytes(const QByteArray& aBytes);

    // What the last build learnt of the file, or null when it changed since.
    const TFile* file(const TSourceFile& oSource) const;
    // The packed form of a chunk file, by its address relative to the folder.
    const TPackedChunk* packedChunk(const QString& sUrl) const;

    // Replaces the folder's cache with what a successful build learnt. Throws
    // std::runtime_error.
    static void save(const QString& sOutputFolder, qint64 nWalkStarted, const std::vector<TSourceFile>& lSources,
                     const std::vector<TPublishedFile>& lFiles, const std::deque<TPublishedChunk>& lChunks);

    // True when a file with these stamps, found by a walk that began at
    // nWalkStarted (see TSourceTree::walkStarted()), may be trusted next time.
    static bool settled(const TSourceFile& oSource, qint64 nWalkStarted);

private:
    TReadCache() = default;
    void read(const QByteArray& aBytes);

    QHash<QString, TFile> m_hFiles;
    QHash<QString, TPackedChunk> m_hPackedChunks;
};
