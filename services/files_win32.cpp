// File names on Windows: the local form (drive letters, backslashes).
#include "services/files.hpp"

#include "datatypes/file_path.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"

namespace qor::files {

std::string os_name(const Cell* file) {
    Cell local = string::make(string::length(file) + 8);
    gc::CellRoot keep(&local);
    file::to_local_path(file, &local, false);
    return string::to_utf8(&local);
}

}  // namespace qor::files
