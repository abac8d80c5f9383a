#include "chunkrecord.h"

#include "launcher/documents/packageconfigurationreader.h"

namespace velmar::launcher {

TChunkRecord::TChunkRecord(const TPackageConfigurationReader& oConfiguration, const TChunkDescription& oChunk)
    : m_oUrl(oConfiguration.url(oChunk))
    , m_nPackedSize(oChunk.packedSize())
    , m_nUnpackedSize(oChunk.unpackedSize())
    , m_oPackedHash(oChunk.packedHash())
    , m_oUnpackedHash(oChunk.unpackedHash())
    , m_bUnpack(oChunk.unpack())
{
}

} // namespace velmar::launcher
