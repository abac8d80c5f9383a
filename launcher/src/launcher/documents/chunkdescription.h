#pragma once

#include "shared/filesize.h"
#include "shared/sha256digest.h"

#include <QtGlobal>

namespace velmar::launcher {

class TPackageConfigurationReader;

// One compressed, hash-addressed piece of data on the CDN; also the packed form
// of a whole file. Its address is held as text inside the configuration that
// listed it, so that a list of hundreds of thousands of chunks needs no
// allocation per chunk: only that configuration's url() resolves it, and the
// install engine carries resolved addresses in TChunkRecord.
class TChunkDescription
{
public:
    shared::TFileSize packedSize() const { return m_nPackedSize; }
    const shared::TSha256Digest& packedHash() const { return m_oPackedHash; }
    shared::TFileSize unpackedSize() const { return m_nUnpackedSize; }
    const shared::TSha256Digest& unpackedHash() const { return m_oUnpackedHash; }
    // Whether the downloaded bytes are in the packed format and must be unpacked before use.
    bool unpack() const { return m_bUnpack; }
    bool hasUrl() const { return m_nUrlLength > 0; }

private:
    friend class TPackageConfigurationReader;

    shared::TFileSize m_nPackedSize = 0;
    shared::TFileSize m_nUnpackedSize = 0;
    shared::TSha256Digest m_oPackedHash;
    shared::TSha256Digest m_oUnpackedHash;
    quint32 m_nUrlOffset = 0;
    quint32 m_nUrlLength = 0;
    // The serial number of the reader that listed it.
    quint32 m_nOwner = 0;
    bool m_bUrlFromAssets = false;
    bool m_bUnpack = true;
};

} // namespace velmar::launcher
