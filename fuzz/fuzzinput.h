#pragma once

#include "shared/packedheader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The fuzzer's bytes without a copy, so that a read past them is caught.
inline QByteArray fuzzBytes(const uint8_t* pData, size_t nSize)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(pData), static_cast<int>(nSize));
}

// Inputs declaring more than this are skipped: the work of a decoder grows with the
// declared size, and an input that asks for gigabytes of output would only measure
// the machine. The tests cover huge declared sizes.
constexpr quint64 kLargestFuzzedOutput = 1 << 20;

inline bool declaresLargeOutput(const QByteArray& aInput)
{
    const auto oHeader = shared::readPackedHeader(aInput);
    return oHeader && oHeader->nUnpackedSize > kLargestFuzzedOutput;
}
