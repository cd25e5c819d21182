// Lookup over the generated table of embedded sources.
#include "boot/embedded.hpp"

#include <cstring>

namespace qor::embedded {

const File* find(const char* name) {
    for (const File* f = all(); f->name; f++)
        if (std::strcmp(f->name, name) == 0) return f;
    return nullptr;
}

}  // namespace qor::embedded
