#pragma once

#include "shared/filesize.h"
#include "shared/sha256digest.h"

#include <QUrl>

namespace velmar::launcher {

class TChunkDescription;
class TPackageConfigurationReader;

// A chunk as the install engine moves it between threads: a self-contained copy
// with its address already resolved, so that no step needs the configuration
// that listed it (and none can resolve it through the wrong one).
class TChunkRecord
{
public:
    TChunkRecord() = default;
    // oChunk must be listed by oConfiguration; another reader's description
    // gets an empty address.
    TChunkRecord(const TPackageConfigurationReader& oConfiguration, const TChunkDescription& oChunk);

    const QUrl& url() const { return m_oUrl; }
    // The path of the address below the package document's folder, for a chunk
    // whose document gave its address relative to itself and that lies in that
    // folder: a mirror of the folder serves it there. Empty for any other chunk,
    // which is fetched only from its own address.
    QString mirrorPath() const;
    shared::TFileSize packedSize() const { return m_nPackedSize; }
    const shared::TSha256Digest& packedHash() const { return m_oPackedHash; }
    shared::TFileSize unpackedSize() const { return m_nUnpackedSize; }
    const shared::TSha256Digest& unpackedHash() const { return m_oUnpackedHash; }
    bool unpack() const { return m_bUnpack; }

private:
    QUrl m_oUrl;
    shared::TFileSize m_nPackedSize = 0;
    shared::TFileSize m_nUnpackedSize = 0;
    shared::TSha256Digest m_oPackedHash;
    shared::TSha256Digest m_oUnpackedHash;
    bool m_bUnpack = true;
    // Where mirrorPath() starts in the decoded path of m_oUrl; -1 for none.
    qint32 m_nMirrorPathStart = -1;
};

} // namespace velmar::launcher
