// Conversion between the language's file paths and Windows paths.
#include "datatypes/file_path.hpp"

#include <string>

#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"
#include "datatypes/text_literal.hpp"

namespace qor::file {

void to_local_path(const Cell* file, Cell* target, bool full) {
    std::u32string path = string::to_code_points(file);
    std::u32string out;
    size_t i = 0;
    if (!path.empty() && path[0] == U'/') {
        i = 1;
        if (i < path.size() && path[i] != U'/') {
            // A one-letter first component is a drive; a longer one names a
            // server, whose path starts with two backslashes.
            bool drive = i + 1 >= path.size() || path[i + 1] == U'/';
            if (drive) {
                out += path[i];
                out += U':';
                i += 2;
            } else {
                out += U'\\';
            }
        }
        out += U'\\';
    } else if (full) {
        Cell dir = current_dir_local();
        gc::CellRoot keep(&dir);
        string::append_string(target, &dir);
    }
    for (; i < path.size(); i++) out += path[i] == U'/' ? U'\\' : path[i];
    for (char32_t c : out) string::append_char(target, uint32_t(c));
}

Cell current_dir_local() {
    int32_t length = 0;
    char16_t* dir = platform::get_current_dir(&length);
    std::u16string text = dir ? std::u16string(dir, size_t(length)) : std::u16string();
    if (dir) heap::free(dir);
    if (!text.empty() && text.back() != u'\\') text += u'\\';
    Cell out = string::make(uint32_t(text.size()));
    gc::CellRoot keep(&out);
    std::string utf8 = raw_utf::utf16_to_utf8(text);
    string::append_utf8(&out, utf8.data(), utf8.size());
    return out;
}

void to_slashes(Cell* s) {
    uint32_t n = string::remaining_length(s);
    Node node = cell_node(s);
    uint32_t index = s->data1;
    for (uint32_t k = 0; k < n; k++)
        if (string::char_at(s, index + k) == '\\') string::poke_char(node, index + k, '/');
}

}  // namespace qor::file

namespace qor::file {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out) {
    if (end - start >= 2 && start[1] == '"')
        return text_literal::decode(start + 2, end, seen, text_literal::ESCAPES, TYPE_FILE, make, out);
    return text_literal::decode(start + 1, end, seen, text_literal::ESCAPES | text_literal::PERCENT, TYPE_FILE,
                                make, out);
}

}  // namespace qor::file
