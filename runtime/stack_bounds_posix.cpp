// POSIX: the thread's stack attributes; the main thread's size follows the
// stack limit in force.
#include "runtime/stack_bounds.hpp"

#include <pthread.h>

namespace qor::platform {

const void* machine_stack_lowest() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return nullptr;
    void* address = nullptr;
    size_t size = 0;
    int rc = pthread_attr_getstack(&attr, &address, &size);
    pthread_attr_destroy(&attr);
    return rc == 0 ? address : nullptr;
}

}  // namespace qor::platform
