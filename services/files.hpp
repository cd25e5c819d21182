// The file service: file names between the language's form and the
// operating system's, reading and writing files, directories, attributes,
// deleting and renaming, and the current directory.  file!'s actions (given
// to file! at start-up through `layer`), the natives, the library's
// routines and the clipboard all go through it.
//
// The language writes paths with "/" only, an absolute path beginning with
// "/" and a drive as its first segment (%/C/Users/); the operating system
// takes its own form (C:\Users\ on Windows, the text as it stands elsewhere:
// files_win32.cpp and files_posix.cpp).
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "datatypes/file.hpp"
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

// The bytes of a file from `seek` (0 or less: the start), at most `part`
// of them (negative: all).  A file whose size the system does not report (a
// device, a pipe, /proc) is read in chunks to its end.  False when it cannot
// be opened or read; nothing is kept then.
bool read_bytes(const Cell* file, int64_t seek, int64_t part, std::string& out);

// Text from the bytes of a file: UTF-8 with a leading byte-order mark
// dropped, CR LF and a lone CR turned into LF.  False when the bytes are not
// UTF-8.
bool decode_text(const std::string& bytes, Cell* out);

// The lines of a file's bytes: cut at each LF, a CR right before it
// dropped, text after the last LF a last line.  False when not UTF-8.
bool split_lines(const std::string& bytes, Cell* block);

// file!'s actions: read (a file's text, bytes or lines, or a directory's
// entries), write (text with CR LF line ends, bytes, lines), query (the
// last write time), delete and rename.  Every failure of read and write is
// access/cannot-open naming the file.
file::Layer layer();

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
