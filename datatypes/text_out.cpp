#include "datatypes/text_out.hpp"

#include "datatypes/string.hpp"

namespace qor {

void string_new_output(Cell* out) { string::init_cell(out, 16); }

void string_append_ascii(Cell* out, const char* text, size_t length) { string::append_ascii(out, text, length); }

std::string string_text_of(const Cell* out) { return string::to_utf8(out); }

}  // namespace qor
