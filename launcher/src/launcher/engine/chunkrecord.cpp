#include "chunkrecord.h"

#include "launcher/documents/packageconfigurationreader.h"

namespace velmar::launcher {

TChunkRecord::TChunkRecord(const TPackageConfigurationReader& oConfiguration, const TChunkDescription& oChunk)
    : m_nPackedSize(oChunk.packedSize())
    , m_nUnpackedSize(oChunk.unpackedSize())
    , m_oPackedHash(oChunk.packedHash())
    , m_oUnpackedHash(oChunk.unpackedHash())
    , m_bUnpack(oChunk.unpack())
{
    bool bRelative = false;
    m_oUrl = oConfiguration.url(oChunk, &bRelative);
    if (!bRelative)
        return;
    const QUrl& oBase = oConfiguration.packageBaseUrl();
    const QString sBasePath = oBase.path(QUrl::FullyDecoded);
    if (!sBasePath.endsWith(QLatin1Char('/')) || !m_oUrl.path(QUrl::FullyDecoded).startsWith(sBasePath))
        return;
    // An address relative to the package document keeps its scheme, host and
    // port (only the path is the address's), so only one relative to the asset
    // document needs them compared: two copies of the address for every chunk.
    constexpr QUrl::FormattingOptions kServer = QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment;
    if (&oConfiguration.baseUrl(oChunk) == &oBase || m_oUrl.adjusted(kServer) == oBase.adjusted(kServer))
        m_nMirrorPathStart = sBasePath.size();
}

QString TChunkRecord::mirrorPath() const
{
    return m_nMirrorPathStart < 0 ? QString() : m_oUrl.path(QUrl::FullyDecoded).mid(m_nMirrorPathStart);
}

} // namespace velmar::launcher
