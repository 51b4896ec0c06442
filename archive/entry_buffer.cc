#include "archive/entry_buffer.h"

#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// glibc maps a block of 32 MiB or more afresh on every allocation and unmaps
// it on release, so each large entry would fault in every page of its buffer
// again; on this kind of machine that costs more than moving the data. Kept
// on the heap, a released buffer's pages serve the next entry. Peak memory
// stays that of the largest entry.
void ReuseEntryBuffers() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 0x7FFFFFFF);
#endif
}
