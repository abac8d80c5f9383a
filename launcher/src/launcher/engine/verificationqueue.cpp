#include "verificationqueue.h"

#include "launcher/documents/filedescription.h"

#include <QMutexLocker>

namespace velmar::launcher {

TVerificationQueue::TVerificationQueue(std::vector<const TFileDescription*> lFiles, shared::TFileSize nAheadLimit)
    : m_lFiles(std::move(lFiles))
    , m_nAheadLimit(nAheadLimit)
{
    for (const TFileDescription* pFile : m_lFiles)
        m_nTotal += pFile->unpackedSize();
}

const TFileDescription* TVerificationQueue::take()
{
    QMutexLocker oLock(&m_oMutex);
    if (m_bFailed || m_nNext == m_lFiles.size())
        return nullptr;
    const TFileDescription* pFile = m_lFiles[m_nNext++];
    m_nTaken += pFile->unpackedSize();
    m_oMoved.wakeAll();
    return pFile;
}

const TFileDescription* TVerificationQueue::nextAhead(shared::TFileSize& nBytes, const std::function<bool()>& fnStop)
{
    QMutexLocker oLock(&m_oMutex);
    if (fnStop())
        return nullptr;
    while (!m_bFailed && m_nNext < m_lFiles.size() && m_nReadAhead > m_nTaken + m_nAheadLimit)
        m_oMoved.wait(&m_oMutex);
    if (m_bFailed || m_nNext == m_lFiles.size() || fnStop())
        return nullptr;
    // Files already taken are read by their hashing.
    if (m_nAhead < m_nNext) {
        m_nAhead = m_nNext;
        m_nReadAhead = m_nTaken;
    }
    if (m_nAhead == m_lFiles.size())
        return nullptr;
    const TFileDescription* pFile = m_lFiles[m_nAhead++];
    nBytes = qMin(pFile->unpackedSize(), m_nAheadLimit);
    m_nReadAhead += nBytes;
    return pFile;
}

void TVerificationQueue::addHashed(shared::TFileSize nBytes,
                                   const std::function<void(shared::TFileSize, shared::TFileSize)>& fnReport)
{
    QMutexLocker oLock(&m_oMutex);
    if (m_bFailed)
        return;
    m_nHashed += nBytes;
    fnReport(qMin(m_nHashed, m_nTotal), m_nTotal);
}

void TVerificationQueue::fail(const TFileFault& oFault)
{
    QMutexLocker oLock(&m_oMutex);
    m_bFailed = true;
    m_oMoved.wakeAll();
    if (!m_oFault.isSet())
        m_oFault = oFault;
}

bool TVerificationQueue::failed() const
{
    QMutexLocker oLock(&m_oMutex);
    return m_bFailed;
}

TFileFault TVerificationQueue::fault() const
{
    QMutexLocker oLock(&m_oMutex);
    return m_oFault;
}

} // namespace velmar::launcher
