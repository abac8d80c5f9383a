#pragma once

#include "chunkrecord.h"

#include "shared/filesize.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <vector>

namespace shared {
class TConfinedFolder;
}

namespace velmar::launcher {

// The first bytes of packed chunks whose transfer broke off, kept in the
// package folder's partialChunksFolder(), one file per chunk named by its
// packed hash in hex, so that a later attempt or run asks only for the rest.
// Every file is reached through the held folder; a document can name no path
// inside it, so nothing written here can touch an installed file. The kept
// bytes are never trusted: the chunk they begin is checked whole.
class TPartialChunks
{
public:
    explicit TPartialChunks(std::shared_ptr<shared::TConfinedFolder> pFolder);

    // How many bytes are kept for each chunk of lChunks (by packed hash); every
    // other file, and every one that is no plain file shorter than its chunk, is
    // deleted. Nothing is touched when the folder does not exist.
    QHash<shared::TSha256Digest, shared::TFileSize> sweep(const std::vector<TChunkRecord>& lChunks) const;
    // Writes aBytes as the chunk's bytes from nOffset on (the kept file is cut
    // to nOffset first); false, with the reason in the log, when it could not.
    bool keep(const TChunkRecord& oChunk, shared::TFileSize nOffset, const QByteArray& aBytes) const;
    // The chunk's first nSize kept bytes; throws when they cannot be read.
    QByteArray read(const TChunkRecord& oChunk, shared::TFileSize nSize) const;
    // Deletes the chunk's kept file, if any; a failure is only logged.
    void drop(const TChunkRecord& oChunk) const;
    // Deletes the whole folder, if any; a failure is only logged.
    void dropAll() const;

    // Whether bytes of this chunk can be kept at all (it has a packed hash).
    static bool canKeep(const TChunkRecord& oChunk) { return !oChunk.packedHash().isEmpty(); }

private:
    static QString fileOf(const TChunkRecord& oChunk);

    std::shared_ptr<shared::TConfinedFolder> m_pFolder;
};

} // namespace velmar::launcher
