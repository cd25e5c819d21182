// POSIX secure source: getrandom(2), or /dev/urandom where the kernel lacks
// it.  Short reads and interruptions are retried; anything else fails.
#include <sys/random.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "runtime/random.hpp"

namespace qor::crypto {

namespace {

bool read_urandom(uint8_t* p, size_t count) {
    int fd;
    do fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    while (count > 0) {
        const ssize_t got = ::read(fd, p, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ::close(fd);
            return false;
        }
        p += got;
        count -= size_t(got);
    }
    ::close(fd);
    return true;
}

}  // namespace

bool random_bytes(void* buffer, size_t count) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t got = ::getrandom(p, count, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSYS) return read_urandom(p, count);
            return false;
        }
        p += got;
        count -= size_t(got);
    }
    return true;
}

}  // namespace qor::crypto
