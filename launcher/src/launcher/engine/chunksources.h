#pragma once

#include <QUrl>

#include <vector>

namespace velmar::launcher {

class TChunkRecord;

// The base addresses the downloader may fetch a chunk from: source 0 is the
// chunk's own address, sources 1.. are the mirrors of the package document's
// folder, which serve only the chunks listed at relative addresses (see
// TChunkRecord::mirrorPath()). A source that failed kDemotingFailures times in a
// row is tried after the others for the rest of the run, so a dead or stalling
// server costs each chunk at most one try, and soon none.
class TChunkSources
{
public:
    static constexpr int kDemotingFailures = 2;

    void setMirrors(std::vector<QUrl> lMirrors);
    bool hasMirrors() const { return !m_lMirrors.empty(); }

    // The source to try next for oRecord among those whose bit is not set in
    // nTried; -1 when every source it may come from was tried.
    int next(const TChunkRecord& oRecord, quint32 nTried) const;
    // oRecord's address at source nSource.
    QUrl address(const TChunkRecord& oRecord, int nSource) const;
    // True when this failure made the source go last.
    bool noteFailure(int nSource);
    void noteSuccess(int nSource);

private:
    struct TSource
    {
        int m_nFailuresInARow = 0;
        bool m_bLast = false;
    };

    std::vector<QUrl> m_lMirrors;
    // One per source, the chunk's own address first.
    std::vector<TSource> m_lSources{1};
};

} // namespace velmar::launcher
