#pragma once

#include <cstddef>

namespace shared {

// Asks the system to back a large buffer, which is about to be written from
// front to back, with huge pages where it can. On virtual machines a page fault
// costs microseconds: filling 64 MiB in 4 KiB pages then takes longer than
// decoding much of it. Buffers below a few MiB, and systems without huge pages,
// are left as they are. Harmless to call on any allocation.
void adviseLargeBuffer(void* pData, size_t nSize);

// malloc() and free() for liblzma's allocator hook, advising large blocks (its
// dictionaries) as above.
void* allocateLargeBuffer(void* pOpaque, size_t nCount, size_t nSize);
void freeLargeBuffer(void* pOpaque, void* pData);

} // namespace shared
