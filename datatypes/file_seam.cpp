// Stand-in for url! and file!: string! actions and their own molded forms.
#include "datatypes/file_seam.hpp"

#include <string>

#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"

namespace qor::file_seam {

namespace {

int32_t utf8_chars(const std::string& s) {
    int32_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

int32_t append_text(Cell* out, const std::string& text, int32_t limit) {
    string::append_utf8(out, text.c_str(), text.size());
    return limit - utf8_chars(text);
}

// The characters a file name cannot hold as they stand: they are written
// as %XX so that the text loads back as the same file.
bool needs_escape(unsigned char c) {
    return c <= ' ' || c == '%' || c == '"' || c == ';' || c == '[' || c == ']' || c == '(' || c == ')' ||
           c == '{' || c == '}' || c == 0x7F;
}

int32_t file_mold(Cell* value, Cell* out, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    std::string text = string::to_utf8(value);
    if (text.empty()) return append_text(out, "%\"\"", limit);
    std::string molded = "%";
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
        if (needs_escape(c)) {
            molded += '%';
            molded += hex[c >> 4];
            molded += hex[c & 15];
        } else {
            molded += char(c);
        }
    }
    return append_text(out, molded, limit);
}

int32_t url_mold(Cell* value, Cell* out, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return append_text(out, string::to_utf8(value), limit);
}

void inherit_all(TypeSpec& spec) {
    for (int slot = 1; slot <= ACTION_COUNT; slot++) inherit_slot(spec, slot);
}

}  // namespace

void init(ReadFn read) {
    TypeSpec url = make_type_spec(TYPE_URL);
    inherit_all(url);
    set_slot<SLOT_MOLD>(url, url_mold);
    install_datatype(TYPE_SPEC_WORDS, &url);

    TypeSpec file = make_type_spec(TYPE_FILE);
    inherit_all(file);
    set_slot<SLOT_MOLD>(file, file_mold);
    if (read) set_slot<SLOT_READ>(file, read);
    install_datatype(TYPE_SPEC_WORDS, &file);
}

}  // namespace qor::file_seam
