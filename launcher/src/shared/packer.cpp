#include "packer.h"

#include "packedheader.h"
#include "packencoders.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace shared {

namespace {

const std::array<std::pair<EPackMethod, const char*>, 6> kMethodNames{{
    {EPackMethod::Store, "store"},
    {EPackMethod::Deflate, "deflate"},
    {EPackMethod::Lzip, "lzip"},
    {EPackMethod::Lzma, "lzma"},
    {EPackMethod::Zpaq, "zpaq"},
    {EPackMethod::Crush, "crush"},
}};

QByteArray payloadFor(const QByteArray& aInput, EPackMethod eMethod)
{
    switch (eMethod) {
    case EPackMethod::Store:
        return aInput;
    case EPackMethod::Deflate:
        return deflatePayload(aInput);
    case EPackMethod::Lzip:
        return lzipPayload(aInput);
    case EPackMethod::Lzma:
        return lzmaPayload(aInput);
    case EPackMethod::Zpaq:
        return zpaqPayload(aInput);
    case EPackMethod::Crush:
        return crushPayload(aInput);
    }
    throw std::runtime_error("Unknown packing method.");
}

} // namespace

QByteArray pack(const QByteArray& aInput, EPackMethod eMethod)
{
    if (aInput.isEmpty())
        return QByteArray();
    const QByteArray aPayload = payloadFor(aInput, eMethod);
    QByteArray aPacked = packedHeader(static_cast<uchar>(eMethod), static_cast<quint64>(aInput.size()),
                                      static_cast<quint64>(aPayload.size()));
    aPacked.reserve(aPacked.size() + aPayload.size());
    aPacked.append(aPayload);
    return aPacked;
}

std::optional<EPackMethod> packMethodFromName(const QString& sName)
{
    for (const auto& oEntry : kMethodNames) {
        if (sName == QLatin1String(oEntry.second))
            return oEntry.first;
    }
    return std::nullopt;
}

QString packMethodName(EPackMethod eMethod)
{
    for (const auto& oEntry : kMethodNames) {
        if (oEntry.first == eMethod)
            return QString::fromLatin1(oEntry.second);
    }
    return QString();
}

QStringList packMethodNames()
{
    QStringList lNames;
    for (const auto& oEntry : kMethodNames)
        lNames.append(QString::fromLatin1(oEntry.second));
    return lNames;
}

} // namespace shared
