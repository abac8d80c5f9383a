#include "packeddecoders.h"

#include "zpaqerror.h"
#include "zpaqinstructionbudget.h"
#include "zpaqmemoryreader.h"

#include <libzpaq.h>

#include <cstring>
#include <memory>
#include <new>

namespace shared {

namespace {

// Models and program memory a block may ask for. The built-in compression levels
// stay far below; a header asking for more is treated as corrupt rather than left
// to reserve gigabytes.
constexpr double kLargestBlockMemory = 1024.0 * 1024 * 1024;
// Instructions the stream's programs may run per byte of payload and of output,
// on top of a fixed allowance; the built-in levels need a few dozen per byte.
constexpr uint64_t kInstructionsPerByte = 1024;
constexpr uint64_t kFixedInstructions = uint64_t{1} << 26;
constexpr int kSha1Size = 20;

// Writes the decoded bytes into the output span and refuses to write past it.
class TSpanWriter : public libzpaq::Writer
{
public:
    explicit TSpanWriter(TOutputSpan oOutput) : m_oOutput(oOutput) {}

    void put(int nByte) override
    {
        if (m_nWritten == m_oOutput.nSize)
            libzpaq::error("output larger than declared");
        m_oOutput.pData[m_nWritten++] = static_cast<unsigned char>(nByte);
    }

    void write(const char* pBuffer, int nCount) override
    {
        if (nCount <= 0)
            return;
        if (static_cast<size_t>(nCount) > m_oOutput.nSize - m_nWritten)
            libzpaq::error("output larger than declared");
        std::memcpy(m_oOutput.pData + m_nWritten, pBuffer, static_cast<size_t>(nCount));
        m_nWritten += static_cast<size_t>(nCount);
    }

    size_t written() const { return m_nWritten; }

private:
    TOutputSpan m_oOutput;
    size_t m_nWritten = 0;
};

// Decodes every segment of every block; false when a segment's SHA-1 sum does not
// match its output.
bool decodeBlocks(libzpaq::Decompresser& oDecompresser, libzpaq::SHA1& oSha1)
{
    double dMemory = 0;
    while (oDecompresser.findBlock(&dMemory)) {
        if (dMemory > kLargestBlockMemory)
            return false;
        while (oDecompresser.findFilename()) {
            oDecompresser.readComment();
            oDecompresser.decompress();
            char aSegmentEnd[1 + kSha1Size];
            oDecompresser.readSegmentEnd(aSegmentEnd);
            // result() also starts the sum over for the next segment.
            const char* pActual = oSha1.result();
            if (aSegmentEnd[0] == 1 && std::memcmp(pActual, aSegmentEnd + 1, kSha1Size) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

TDecodeResult decodeZpaqPayload(TPayloadSpan oPayload, TOutputSpan oOutput)
{
    try {
        const TZpaqInstructionBudget oBudget(kFixedInstructions +
                                             kInstructionsPerByte * (oPayload.nSize + oOutput.nSize));
        TZpaqMemoryReader oReader(oPayload.pData, oPayload.nSize);
        TSpanWriter oWriter(oOutput);
        libzpaq::SHA1 oSha1;
        // Several hundred kilobytes of tables: too much for a worker thread's stack.
        const auto pDecompresser = std::make_unique<libzpaq::Decompresser>();
        pDecompresser->setInput(&oReader);
        pDecompresser->setOutput(&oWriter);
        pDecompresser->setSHA1(&oSha1);
        if (!decodeBlocks(*pDecompresser, oSha1))
            return std::nullopt;
        return oWriter.written();
    } catch (const TZpaqError&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace shared
