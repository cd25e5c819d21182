// Stand-in for url! and file!: string! actions, their own molded forms, and
// reading files.
#include "datatypes/file_seam.hpp"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "datatypes/block.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "evaluator/natives_system.hpp"
#include "runtime/collector.hpp"

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

// True when the bytes are well-formed UTF-8.
bool valid_utf8(const std::string& text) {
    size_t i = 0, n = text.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || i + len > n || (len == 2 && c < 0xC2)) return false;
        for (size_t k = 1; k < len; k++)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
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

Cell make_text(const std::string& utf8, uint32_t type) {
    Cell s = string::from_utf8(utf8.data(), utf8.size());
    s.header = (s.header & ~TYPE_MASK) | type;
    return s;
}

// A directory's entries as files, directories ending in "/".
Cell* read_directory(const std::filesystem::path& dir) {
    Cell list = block::make(16);
    gc::CellRoot keep(&list);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::u8string name = entry.path().filename().u8string();
        std::string text(reinterpret_cast<const char*>(name.data()), name.size());
        if (entry.is_directory(ec)) text += '/';
        Cell f = make_text(text, TYPE_FILE);
        gc::CellRoot keep_f(&f);
        block::append_copy(&list, &f);
    }
    return block::push_cell(&list);
}

Cell* file_read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    if (part || seek || info || as) raise_error("internal", "not-done");
    std::string name = natives::sys::os_file_name(source);
    std::filesystem::path path(std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return read_directory(path);
    std::string text;
    if (!natives::sys::read_file(source, text)) raise_error("access", "cannot-open", source);
    if (binary) {
        Cell b = natives::sys::make_binary(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
        gc::CellRoot keep(&b);
        return block::push_cell(&b);
    }
    // Text that is not UTF-8 is refused naming the file (the bytes
    // themselves cannot be shown until binary! exists).
    if (!valid_utf8(text)) raise_error("access", "invalid-utf8", source);
    // A byte-order mark is not part of the text.
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    if (!lines) {
        Cell s = string::from_utf8(text.data(), text.size());
        gc::CellRoot keep(&s);
        return block::push_cell(&s);
    }
    Cell list = block::make(16);
    gc::CellRoot keep(&list);
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        size_t stop = end > from && text[end - 1] == '\r' ? end - 1 : end;
        Cell line = string::from_utf8(text.data() + from, stop - from);
        gc::CellRoot keep_line(&line);
        block::append_copy(&list, &line);
        from = end + 1;
    }
    return block::push_cell(&list);
}

void inherit_all(TypeSpec& spec) {
    for (int slot = 1; slot <= ACTION_COUNT; slot++) inherit_slot(spec, slot);
}

}  // namespace

void init() {
    TypeSpec url = make_type_spec(TYPE_URL);
    inherit_all(url);
    set_slot<SLOT_MOLD>(url, url_mold);
    install_datatype(TYPE_SPEC_WORDS, &url);

    TypeSpec file = make_type_spec(TYPE_FILE);
    inherit_all(file);
    set_slot<SLOT_MOLD>(file, file_mold);
    set_slot<SLOT_READ>(file, file_read);
    install_datatype(TYPE_SPEC_WORDS, &file);
}

}  // namespace qor::file_seam
