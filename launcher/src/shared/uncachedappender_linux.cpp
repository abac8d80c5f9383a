#include "uncachedappender.h"

#include "checkedfile.h"
#include "fileoperation.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace shared {

namespace {

// A multiple of every logical block size a disk has (512 or 4096 bytes).
constexpr qint64 kBlock = 4096;
constexpr qint64 kBufferSize = qint64(1) << 20;

struct TFreeAligned
{
    void operator()(char* pBuffer) const { std::free(pBuffer); }
};

// Writes past the cache take an aligned buffer; each pool thread keeps one.
char* alignedBuffer()
{
    thread_local std::unique_ptr<char, TFreeAligned> pBuffer;
    if (!pBuffer) {
        void* pMemory = nullptr;
        if (::posix_memalign(&pMemory, size_t(kBlock), size_t(kBufferSize)) != 0)
            return nullptr;
        pBuffer.reset(static_cast<char*>(pMemory));
    }
    return pBuffer.get();
}

// The descriptor bypasses the cache while it lives; its flags come back after.
class TUncachedMode
{
public:
    explicit TUncachedMode(int nDescriptor)
        : m_nDescriptor(nDescriptor)
        , m_nFlags(::fcntl(nDescriptor, F_GETFL))
    {
        m_bOn = m_nFlags >= 0 && ::fcntl(nDescriptor, F_SETFL, m_nFlags | O_DIRECT) == 0;
    }
    ~TUncachedMode()
    {
        if (m_bOn)
            ::fcntl(m_nDescriptor, F_SETFL, m_nFlags);
    }
    bool isOn() const { return m_bOn; }
    void turnOff()
    {
        if (m_bOn && ::fcntl(m_nDescriptor, F_SETFL, m_nFlags) == 0)
            m_bOn = false;
    }

private:
    int m_nDescriptor;
    int m_nFlags;
    bool m_bOn = false;
};

} // namespace

int TUncachedAppender::append(TCheckedFile& oFile, const char* pData, qint64 nSize)
{
    if (const int nFault = fileOperationFault(EFileOperation::Write, oFile.fileName()))
        return nFault;
    if (m_bCached) {
        if (const int nError = oFile.writePassedAt(qint64(m_nHeldAt), pData, nSize))
            return nError;
        m_nHeldAt += TFileSize(nSize);
        return 0;
    }
    const qint64 nTotal = m_aHeld.size() + nSize;
    if (nTotal < kBlock) {
        if (const int nError = oFile.writePassedAt(qint64(end()), pData, nSize))
            return nError;
        m_aHeld.append(pData, int(nSize));
        return 0;
    }
    char* pBuffer = alignedBuffer();
    TUncachedMode oMode(oFile.handle());
    // Whole blocks of held bytes and then pData, a buffer at a time, from m_nHeldAt on.
    const qint64 nWhole = nTotal / kBlock * kBlock;
    qint64 nTaken = 0;
    for (qint64 nWritten = 0; nWritten < nWhole;) {
        const qint64 nPiece = qMin(kBufferSize, nWhole - nWritten);
        const char* pPiece = nullptr;
        if (pBuffer) {
            qint64 nFilled = 0;
            if (nWritten < m_aHeld.size()) {
                nFilled = m_aHeld.size() - nWritten;
                std::memcpy(pBuffer, m_aHeld.constData() + nWritten, size_t(nFilled));
            }
            std::memcpy(pBuffer + nFilled, pData + nTaken, size_t(nPiece - nFilled));
            nTaken += nPiece - nFilled;
            pPiece = pBuffer;
        }
        const qint64 nAt = qint64(m_nHeldAt) + nWritten;
        int nError = EINVAL;
        if (pPiece && oMode.isOn())
            nError = oFile.writePassedAt(nAt, pPiece, nPiece);
        if (nError == EINVAL) {
            // No writes past the cache here: everything from m_nHeldAt on goes
            // through it, now and later. What went past it already is rewritten
            // with the same bytes.
            oMode.turnOff();
            if (oMode.isOn())
                return EINVAL;
            if (const int nHeldError = oFile.writePassedAt(qint64(m_nHeldAt), m_aHeld.constData(), m_aHeld.size()))
                return nHeldError;
            if (const int nDataError = oFile.writePassedAt(qint64(m_nHeldAt) + m_aHeld.size(), pData, nSize))
                return nDataError;
            m_nHeldAt = end() + TFileSize(nSize);
            m_aHeld.clear();
            m_bCached = true;
            return 0;
        }
        if (nError != 0)
            return nError;
        nWritten += nPiece;
    }
    const qint64 nFromData = nWhole - m_aHeld.size();
    const qint64 nLeft = nSize - nFromData;
    oMode.turnOff();
    if (oMode.isOn())
        return EINVAL;
    if (const int nError = oFile.writePassedAt(qint64(m_nHeldAt) + nWhole, pData + nFromData, nLeft))
        return nError;
    m_aHeld = QByteArray(pData + nFromData, int(nLeft));
    m_nHeldAt += TFileSize(nWhole);
    return 0;
}

} // namespace shared
