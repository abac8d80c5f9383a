#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

namespace shared {

// The compression methods we can write; each value is the method byte of the
// packed format.
enum class EPackMethod : quint8 { Store = 0, Deflate = 3, Lzip = 4, Lzma = 5, Zpaq = 6, Crush = 21 };

// The compression levels of a method, higher packing smaller and slower.
struct TPackLevels
{
    int nLowest = 0;
    int nHighest = 0;
    // Chosen for a publisher's CDN: lzma's keeps a job at 5 MB/s or more.
    int nDefault = 0;
};

// Asks pack() for the method's default level.
constexpr int kDefaultPackLevel = -1;

// aInput in the packed format: marker, method, unpacked size, packed size, payload.
// An empty input gives an empty result, since a stream declaring zero bytes does not
// unpack, while empty bytes come back from unpackStrict() as they are. nLevel is
// one of the method's packLevels(), or kDefaultPackLevel; methods without levels
// ignore it. Throws std::runtime_error when the compressor fails, and
// std::invalid_argument for a level the method does not have.
QByteArray pack(const QByteArray& aInput, EPackMethod eMethod, int nLevel = kDefaultPackLevel);

// Nothing for a method without levels (store, crush).
std::optional<TPackLevels> packLevels(EPackMethod eMethod);

// "store", "deflate", "lzip", "lzma", "zpaq", "crush"; nothing for any other text.
std::optional<EPackMethod> packMethodFromName(const QString& sName);
QString packMethodName(EPackMethod eMethod);
// Every method name, in the order of the enumeration.
QStringList packMethodNames();

} // namespace shared
