#include "platform/memory/FreedMemory.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace tessellon {

void returnFreedMemory() {
#if defined(__GLIBC__)
  (void)::malloc_trim(0);
#endif
}

}  // namespace tessellon
