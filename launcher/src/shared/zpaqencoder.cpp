#include "packencoders.h"

#include "zpaqerror.h"
#include "zpaqmemoryreader.h"

#include <libzpaq.h>

#include <climits>
#include <stdexcept>
#include <string>

namespace shared {

namespace {

// Level 3 of libzpaq with its default 16 MiB blocks: clearly smaller than deflate
// at a decoding speed a launcher can live with.
constexpr char kZpaqMethod[] = "3";

class TByteArrayWriter : public libzpaq::Writer
{
public:
    void put(int nByte) override
    {
        checkRoom(1);
        m_aBytes.append(static_cast<char>(nByte));
    }

    void write(const char* pBuffer, int nCount) override
    {
        checkRoom(nCount);
        m_aBytes.append(pBuffer, nCount);
    }

    QByteArray takeBytes() { return std::move(m_aBytes); }

private:
    void checkRoom(int nCount) const
    {
        if (nCount > INT_MAX - 64 - m_aBytes.size())
            libzpaq::error("compressed data too large");
    }

    QByteArray m_aBytes;
};

} // namespace

QByteArray zpaqPayload(const QByteArray& aInput)
{
    try {
        TZpaqMemoryReader oReader(reinterpret_cast<const unsigned char*>(aInput.constData()),
                                  static_cast<size_t>(aInput.size()));
        TByteArrayWriter oWriter;
        // No file name, the default comment (the size) and a SHA-1 sum per segment.
        libzpaq::compress(&oReader, &oWriter, kZpaqMethod, nullptr, nullptr, true);
        return oWriter.takeBytes();
    } catch (const TZpaqError& oError) {
        throw std::runtime_error(std::string("ZPAQ compression failed: ") + oError.what());
    }
}

} // namespace shared
