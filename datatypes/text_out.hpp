// Text output of form and mold: the short names that value writers use to
// build an output string!.  Thin wrappers over datatypes/string.hpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/cell.hpp"

namespace qor {

// Makes `out` a new, empty string!.
void string_new_output(Cell* out);

// Appends `length` bytes of ASCII text (up to the NUL when `length` is
// SIZE_MAX) to the output string, one character per byte.
void string_append_ascii(Cell* out, const char* text, size_t length = SIZE_MAX);

// The text of an output string from its index, as UTF-8 (tests, diagnostics).
std::string string_text_of(const Cell* out);

}  // namespace qor
