#include "platform/memory.h"

#include <cstdlib> // defines __GLIBC__ with the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
    // Also the free pages inside the heap, not only its top: a small block still in use above
    // them would otherwise keep them all.
    ::malloc_trim(0);
#endif
}
