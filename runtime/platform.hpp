// The platform layer: the runtime's one road to the operating system.
// Everything above it is portable; this header is implemented twice, by
// platform_win32.cpp (the product) and platform_posix.cpp (the native build
// that the sanitizer test suite uses), and both sides behave alike.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::platform {

// Committed, zero-filled, read-write pages (read-write-execute when
// `executable`).  Failure throws THROW_OS_ALLOC; release failure THROW_OS_FREE.
void* virtual_alloc(size_t size, bool executable = false);
void  virtual_free(void* address, size_t size);

}  // namespace qor::platform
