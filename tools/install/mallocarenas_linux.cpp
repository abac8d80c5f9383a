#include "mallocarenas.h"

#include <malloc.h>

void limitMallocArenas()
{
    // Only a setting: an allocator without it simply keeps its own.
    mallopt(M_ARENA_MAX, 2);
}
