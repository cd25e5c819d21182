// File names on POSIX systems: the text as it stands.
#include "services/files.hpp"

#include "datatypes/string.hpp"

namespace qor::files {

std::string os_name(const Cell* file) { return string::to_utf8(file); }

}  // namespace qor::files
