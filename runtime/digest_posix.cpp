// POSIX digests: the portable code of digest_soft.cpp; nothing can fail
// once the code is known.
#include <cstring>

#include "runtime/digest.hpp"

namespace qor::crypto {

bool init() { return true; }
void shutdown() {}
uintptr_t provider() { return 0; }

Status digest_begin(Digest& d, int32_t code) {
    d.code = code;
    d.handle = 0;
    d.failed = false;
    d.open = soft::begin(d.soft, code);
    return d.open ? Status::ok : Status::unsupported;
}

Status digest_update(Digest& d, const void* bytes, size_t length) {
    if (!d.open) return Status::failed;
    soft::update(d.soft, bytes, length);
    return Status::ok;
}

Status digest_finish(Digest& d, uint8_t* out) {
    std::memset(out, 0, HASH_BUFFER);
    if (!d.open) return Status::failed;
    soft::finish(d.soft, out);
    d.open = false;
    return Status::ok;
}

void digest_abort(Digest& d) { d.open = false; }

}  // namespace qor::crypto
