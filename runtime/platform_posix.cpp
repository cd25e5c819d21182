// POSIX side of the platform layer (the native build).
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

#include <sys/mman.h>

namespace qor::platform {

void* virtual_alloc(size_t size, bool executable) {
    int prot = PROT_READ | PROT_WRITE | (executable ? PROT_EXEC : 0);
    void* p = mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw Thrown{THROW_OS_ALLOC};
    return p;
}

void virtual_free(void* address, size_t size) {
    if (munmap(address, size) != 0) throw Thrown{THROW_OS_FREE};
}

}  // namespace qor::platform
