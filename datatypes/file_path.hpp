// The language's file paths and the operating system's.
//
// A file! holds a path in the language's own form: "/" separates the
// components, an absolute path starts with "/", and a drive is a first
// component of one letter (/c/ is the drive C:).  The local form is the
// Windows one.
#pragma once
#include "runtime/cell.hpp"

namespace qor::file {

// Appends the Windows form of the path (from the file's index) to the target
// string: /c/x gives c:\x, /c gives c:\ , / gives \ , a longer first
// component gives a network path (/abc/x: \\abc\x), every other "/" becomes
// "\".  With `full`, a relative path gets the current directory in front.
// May allocate; the cells must be reachable.
void to_local_path(const Cell* file, Cell* target, bool full);

// The current directory as a string! in Windows form, ending with a
// backslash (an empty string when the platform cannot read it).
Cell current_dir_local();

// Replaces every backslash of the string (from its index) by a slash, in
// place.
void to_slashes(Cell* string);

// The literal decoder (literal.hpp): %name, or %"name" up to its closing quote.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace qor::file
