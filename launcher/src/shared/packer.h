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

// aInput in the packed format: marker, method, unpacked size, packed size, payload.
// An empty input gives an empty result, since a stream declaring zero bytes does not
// unpack, while empty bytes come back from unpackStrict() as they are.
// Throws std::runtime_error when the compressor fails.
QByteArray pack(const QByteArray& aInput, EPackMethod eMethod);

// "store", "deflate", "lzip", "lzma", "zpaq", "crush"; nothing for any other text.
std::optional<EPackMethod> packMethodFromName(const QString& sName);
QString packMethodName(EPackMethod eMethod);
// Every method name, in the order of the enumeration.
QStringList packMethodNames();

} // namespace shared
