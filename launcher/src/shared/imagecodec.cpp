#include "imagecodec.h"

namespace shared {

namespace {

TImageCodec& registeredCodec()
{
    static TImageCodec oCodec;
    return oCodec;
}

} // namespace

void setImageCodec(TImageCodec oCodec)
{
    registeredCodec() = std::move(oCodec);
}

const TImageCodec& imageCodec()
{
    return registeredCodec();
}

} // namespace shared
