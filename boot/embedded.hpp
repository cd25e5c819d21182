// The Qor sources carried inside the executable: the boot definitions
// (boot/*.qor), the library (library/*.qor) and the console engine
// (console/*.qor).  cmake/embed.cmake turns them into byte arrays at build
// time; each is known by its path relative to the source tree.
#pragma once
#include <cstdint>

namespace qor::embedded {

struct File {
    const char*          name;   // "library/base.qor"
    const unsigned char* data;   // UTF-8, followed by one NUL byte
    uint32_t             size;   // bytes, without the NUL
};

// The files in name order, then an entry whose name is null.
const File* all();
uint32_t count();

// The file of that name, or null.
const File* find(const char* name);

}  // namespace qor::embedded
