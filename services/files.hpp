// File names between the language's form and the operating system's: the
// routines' side of the current directory and of file! arguments.
//
// The language writes paths with "/" only, an absolute path beginning with
// "/" and a drive as its first segment (%/C/Users/); the operating system
// takes its own form (C:\Users\ on Windows, the text as it stands elsewhere).
#pragma once
#include <filesystem>
#include <string>

#include "runtime/cell.hpp"

namespace qor::file_names {

// A local path in the language's form: every run of "\" or "/" becomes one
// "/", a drive colon makes the path absolute ("C:\x" gives "/C/x"); a second
// colon, or a colon right after a separator, ends the conversion.
std::string to_qor_path(const std::string& local);

// A new file! holding the UTF-8 text (allocates: keep it rooted).
Cell make_file(const std::string& utf8);

// The process's current directory as a file! ending in "/" (an empty file!
// when it cannot be read).
Cell current_dir();

// The operating system's path for a file! (or string!) value.
std::filesystem::path os_path(const Cell* file);

}  // namespace qor::file_names
