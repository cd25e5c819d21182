// The file service (see files.hpp); the name of a file as the operating
// system takes it is in files_posix.cpp and files_win32.cpp.
#include "services/files.hpp"

#include <fstream>
#include <system_error>

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"

namespace qor::files {

namespace {

std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
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

// A directory's entries as files, directories ending in "/".
Cell* read_directory(const std::filesystem::path& dir) {
    Cell list = block::make(16);
    gc::CellRoot keep(&list);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::u8string name = entry.path().filename().u8string();
        std::string text(reinterpret_cast<const char*>(name.data()), name.size());
        if (entry.is_directory(ec)) text += '/';
        Cell f = make_file(text);
        gc::CellRoot keep_f(&f);
        block::append_copy(&list, &f);
    }
    return block::push_cell(&list);
}

}  // namespace

// ---- Names -------------------------------------------------------------------------------------

std::string to_qor_path(const std::string& local) {
    std::string out;
    bool colon = false, slash = false;
    for (size_t i = 0; i < local.size(); i++) {
        char c = local[i];
        if (c == ':') {
            if (colon || slash) return out;
            colon = true;
            if (i + 1 < local.size() && (local[i + 1] == '\\' || local[i + 1] == '/')) i++;
            out += '/';
        } else if (c == '\\' || c == '/') {
            if (!slash) out += '/';
            slash = true;
        } else {
            slash = false;
            out += c;
        }
    }
    if (colon) out.insert(out.begin(), '/');
    return out;
}

Cell make_file(const std::string& utf8) {
    Cell f = string::from_utf8(utf8.data(), utf8.size());
    f.header = (f.header & ~TYPE_MASK) | TYPE_FILE;
    return f;
}

std::filesystem::path os_path(const Cell* file) { return fs_path(os_name(file)); }

// ---- Content -----------------------------------------------------------------------------------

int64_t size(const Cell* file) {
    std::filesystem::path path = os_path(file);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return -1;
    std::ifstream in(path, std::ios::binary);
    if (!in) return -1;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    return size < 0 ? -1 : int64_t(size);
}

bool read(const Cell* file, std::string& out) {
    std::filesystem::path path = os_path(file);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0, std::ios::beg);
    out.resize(size_t(size));
    in.read(out.data(), size);
    return in.gcount() == size;
}

Cell* read_action(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    if (part || seek || info || as) raise_error("internal", "not-done");
    std::filesystem::path path = os_path(source);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return read_directory(path);
    std::string text;
    if (!read(source, text)) raise_error("access", "cannot-open", source);
    if (binary) {
        Cell b = binary::make(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
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

// ---- Directories -------------------------------------------------------------------------------

Cell current_dir() {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::current_path(ec);
    std::string text;
    if (!ec) {
        std::u8string u = p.u8string();
        text = to_qor_path(std::string(reinterpret_cast<const char*>(u.data()), u.size()));
        if (text.empty() || text.back() != '/') text += '/';
    }
    return make_file(text);
}

bool set_current_dir(const Cell* dir) {
    std::error_code ec;
    std::filesystem::current_path(os_path(dir), ec);
    return !ec;
}

bool create_dir(const Cell* dir) {
    std::error_code ec;
    return std::filesystem::create_directory(os_path(dir), ec) && !ec;
}

bool exists(const Cell* path) {
    std::error_code ec;
    bool found = std::filesystem::exists(os_path(path), ec);
    return found && !ec;
}

}  // namespace qor::files
