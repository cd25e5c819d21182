// POSIX side of the environment reader: environ, decoded from UTF-8.
#include "services/os_environment.hpp"

#include "runtime/raw_utf.hpp"

extern char** environ;

namespace qor::os {

bool environment_entries(std::vector<std::u16string>& entries) {
    if (!environ) return false;
    for (char** p = environ; *p; ++p) entries.push_back(raw_utf::utf8_to_utf16(*p));
    return true;
}

}  // namespace qor::os
