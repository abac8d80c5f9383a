#include "chunksources.h"

#include "chunkrecord.h"

namespace velmar::launcher {

void TChunkSources::setMirrors(std::vector<QUrl> lMirrors)
{
    // One bit per source in a try's mask.
    if (lMirrors.size() > 31)
        lMirrors.resize(31);
    m_lMirrors = std::move(lMirrors);
    m_lSources.assign(m_lMirrors.size() + 1, TSource());
}

int TChunkSources::next(const TChunkRecord& oRecord, quint32 nTried) const
{
    const int nSources = oRecord.mirrorPath().isEmpty() ? 1 : int(m_lSources.size());
    for (const bool bLast : {false, true}) {
        for (int nSource = 0; nSource < nSources; ++nSource) {
            if (m_lSources[size_t(nSource)].m_bLast == bLast && !(nTried & (1u << nSource)))
                return nSource;
        }
    }
    return -1;
}

QUrl TChunkSources::address(const TChunkRecord& oRecord, int nSource) const
{
    if (nSource <= 0 || size_t(nSource) > m_lMirrors.size())
        return oRecord.url();
    QUrl oAddress = m_lMirrors[size_t(nSource - 1)];
    QString sPath = oAddress.path(QUrl::FullyDecoded);
    if (!sPath.endsWith(QLatin1Char('/')))
        sPath += QLatin1Char('/');
    oAddress.setPath(sPath + oRecord.mirrorPath(), QUrl::DecodedMode);
    oAddress.setQuery(QString());
    oAddress.setFragment(QString());
    return oAddress;
}

bool TChunkSources::noteFailure(int nSource)
{
    TSource& oSource = m_lSources.at(size_t(nSource));
    if (++oSource.m_nFailuresInARow < kDemotingFailures || oSource.m_bLast)
        return false;
    oSource.m_bLast = true;
    return true;
}

void TChunkSources::noteSuccess(int nSource)
{
    m_lSources.at(size_t(nSource)).m_nFailuresInARow = 0;
}

} // namespace velmar::launcher
