// The process environment as a map! of name -> value strings (`list-env`).
//
// The platform files (os_environment_win32.cpp, os_environment_posix.cpp)
// only hand over the raw entries; splitting them and building the map is
// portable, so the splitting rule is tested in every build.
#pragma once
#include <string>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::os {

// Platform side: every entry of the environment block ("name=value") as
// UTF-16 text, in the block's order; false when the block cannot be read.
// Windows: GetEnvironmentStringsW.  POSIX: environ, decoded from UTF-8.
bool environment_entries(std::vector<std::u16string>& entries);

// The first '=' that is not the entry's first character separates the
// name from the value, so the per-drive entries of Windows ("=C:=C:\dir")
// keep their leading '=' in the name.  An entry without a separator is a
// name with an empty value.
struct EnvironmentEntry {
    std::u16string_view name;
    std::u16string_view value;
};
EnvironmentEntry split_entry(std::u16string_view entry);

// Makes `out` (a rooted cell) a map! of the entries' names to their values
// (strings); an empty map when the environment cannot be read.
void environment_map(const std::vector<std::u16string>& entries, Cell* out);
void get_environment(Cell* out);

}  // namespace qor::os
