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
};

} // namespace velmar::launcher
