#include "packencoders.h"

#include "zpaqerror.h"
#include "zpaqmemoryreader.h"

#include <libzpaq.h>

#include <climits>
#include <stdexcept>
#include <string>

namespace shared {

namespace {


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

QByteArray zpaqPayload(const QByteArray& aInput, int nLevel)
{
    try {
        TZpaqMemoryReader oReader(reinterpret_cast<const unsigned char*>(aInput.constData()),
                                  static_cast<size_t>(aInput.size()));
        TByteArrayWriter oWriter;
        // libzpaq's level with its default 16 MiB blocks; no file name, the default
        // comment (the size) and a SHA-1 sum per segment.
        const std::string sMethod = std::to_string(nLevel);
        libzpaq::compress(&oReader, &oWriter, sMethod.c_str(), nullptr, nullptr, true);
        return oWriter.takeBytes();
    } catch (const TZpaqError& oError) {
        throw std::runtime_error(std::string("ZPAQ compression failed: ") + oError.what());
    }
}

} // namespace shared
