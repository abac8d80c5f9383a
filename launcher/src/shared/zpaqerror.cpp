#include "zpaqerror.h"

#include <libzpaq.h>

namespace libzpaq {

void error(const char* pMessage)
{
    throw shared::TZpaqError(pMessage);
}

} // namespace libzpaq
