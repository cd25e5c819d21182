// The file service: file names between the language's form and the
// operating system's, reading files and directories, sizes, and the current
// directory.  file!'s read action, the natives, the library's routines and
// the clipboard all go through it.
//
// The language writes paths with "/" only, an absolute path beginning with
// "/" and a drive as its first segment (%/C/Users/); the operating system
// takes its own form (C:\Users\ on Windows, the text as it stands elsewhere:
// files_win32.cpp and files_posix.cpp).
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "runtime/cell.hpp"

namespace qor::files {

// ---- Names -------------------------------------------------------------------------------------

// A local path in the language's form: every run of "\" or "/" becomes one
// "/", a drive colon makes the path absolute ("C:\x" gives "/C/x"); a second
// colon, or a colon right after a separator, ends the conversion.
std::string to_qor_path(const std::string& local);

// A new file! holding the UTF-8 text (allocates: keep it rooted).
Cell make_file(const std::string& utf8);

// The name of a file! (or string!) as the operating system takes it, as
// UTF-8: the local form on Windows, the text as it stands elsewhere.
std::string os_name(const Cell* file);

// The operating system's path for a file! (or string!) value.
std::filesystem::path os_path(const Cell* file);

// ---- Content -----------------------------------------------------------------------------------

// The size of the file's content, or -1 when it cannot be opened for
// reading (a directory cannot).
int64_t size(const Cell* file);

// Reads the whole file into `out`; false when it cannot be opened or read.
bool read(const Cell* file, std::string& out);

// file!'s read action: a file's text (UTF-8, its byte-order mark dropped),
// its bytes with /binary, its lines with /lines; a directory's entries as
// files, directories ending in "/".  The cell is pushed on the stack.
Cell* read_action(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);

// ---- Directories -------------------------------------------------------------------------------

// The process's current directory as a file! ending in "/" (an empty file!
// when it cannot be read).
Cell current_dir();
// Changes it; false when the directory cannot be entered.
bool set_current_dir(const Cell* dir);
// Makes one directory; false when it cannot be made or already exists.
bool create_dir(const Cell* dir);
bool exists(const Cell* path);

}  // namespace qor::files
