#include "updatesize.h"

#include "packageconfigurationreader.h"

#include <QHash>
#include <QSet>

#include <limits>

namespace velmar::launcher {

namespace {

shared::TFileSize saturatingSum(shared::TFileSize nLeft, shared::TFileSize nRight)
{
    return nLeft > std::numeric_limits<shared::TFileSize>::max() - nRight ? std::numeric_limits<shared::TFileSize>::max()
                                                                          : nLeft + nRight;
}

const TChunkDescription* chunkAt(const TPackageConfigurationReader& oReader, qint32 nIndex)
{
    return nIndex >= 0 && size_t(nIndex) < oReader.chunks().size() ? &oReader.chunks()[size_t(nIndex)] : nullptr;
}

} // namespace

shared::TFileSize roomNeeded(const TPackageConfigurationReader& oTarget, const TPackageConfigurationReader& oInstalled,
                             const std::function<shared::TFileSize(const QString& sPath)>& fnSizeThere,
                             bool bWholeChangedFiles)
{
    shared::TFileSize nNeeded = 0;
    QSet<QString> lTargetFiles;
    for (const TFileDescription& oFile : oTarget.files()) {
        lTargetFiles.insert(oFile.localFile());
        const shared::TFileSize nThere = fnSizeThere(oFile.localFile());
        if (bWholeChangedFiles)
            nNeeded = saturatingSum(nNeeded, nThere == oFile.unpackedSize() ? 0 : oFile.unpackedSize());
        else if (oFile.unpackedSize() > nThere)
            nNeeded = saturatingSum(nNeeded, oFile.unpackedSize() - nThere);
    }
    shared::TFileSize nFreed = 0;
    for (const TFileDescription& oFile : oInstalled.files()) {
        if (!lTargetFiles.contains(oFile.localFile()))
            nFreed = saturatingSum(nFreed, fnSizeThere(oFile.localFile()));
    }
    return nNeeded > nFreed ? nNeeded - nFreed : 0;
}

TUpdateSize updateSize(const TPackageConfigurationReader& oInstalled, const TPackageConfigurationReader& oTarget)
{
    QHash<QString, const TFileDescription*> hInstalledFiles;
    for (const TFileDescription& oFile : oInstalled.files()) {
        if (!hInstalledFiles.contains(oFile.localFile()))
            hInstalledFiles.insert(oFile.localFile(), &oFile);
    }
    TUpdateSize oSize;
    // The launcher fetches each address once, however many files need its bytes.
    QSet<QString> lFetched;
    const auto fetchedFirstHere = [&lFetched](const QUrl& oUrl) {
        const int nBefore = lFetched.size();
        lFetched.insert(oUrl.toString());
        return lFetched.size() > nBefore;
    };
    for (const TFileDescription& oFile : oTarget.files()) {
        const TFileDescription* pOld = hInstalledFiles.value(oFile.localFile());
        if (pOld && pOld->unpackedHash() == oFile.unpackedHash()) {
            ++oSize.m_nUnchanged;
            continue;
        }
        ++(pOld ? oSize.m_nChanged : oSize.m_nNew);
        if (oFile.chunks().size() < 2) {
            if (fetchedFirstHere(oTarget.url(oFile.packedForm()))) {
                ++oSize.m_nWholeFiles;
                oSize.m_nWholeBytes = saturatingSum(oSize.m_nWholeBytes, oFile.packedForm().packedSize());
            }
            continue;
        }
        QSet<shared::TSha256Digest> lOldChunks;
        if (pOld) {
            for (const qint32 nIndex : pOld->chunks()) {
                if (const TChunkDescription* pChunk = chunkAt(oInstalled, nIndex))
                    lOldChunks.insert(pChunk->unpackedHash());
            }
        }
        for (const qint32 nIndex : oFile.chunks()) {
            const TChunkDescription* pChunk = chunkAt(oTarget, nIndex);
            if (!pChunk || lOldChunks.contains(pChunk->unpackedHash()) || !fetchedFirstHere(oTarget.url(*pChunk)))
                continue;
            ++oSize.m_nChunks;
            oSize.m_nChunkBytes = saturatingSum(oSize.m_nChunkBytes, pChunk->packedSize());
        }
    }
    oSize.m_nRoomBytes = roomNeeded(oTarget, oInstalled,
                                    [&hInstalledFiles](const QString& sPath) {
                                        const TFileDescription* pOld = hInstalledFiles.value(sPath);
                                        return pOld ? pOld->unpackedSize() : shared::TFileSize(0);
                                    },
                                    false);
    return oSize;
}

} // namespace velmar::launcher
