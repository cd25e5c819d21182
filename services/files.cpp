// The file service (see files.hpp); the operating system's side is behind
// files_os.hpp, in files_posix.cpp and files_win32.cpp.
#include "services/files.hpp"

#include <algorithm>
#include <system_error>

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/date.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "services/files_os.hpp"

namespace qor::files {

namespace {

constexpr size_t CHUNK = 65536;

std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// True when the bytes [p, end) are well-formed UTF-8.
bool valid_utf8(const unsigned char* p, const unsigned char* end) {
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || size_t(end - p) < len || (len == 2 && c < 0xC2)) return false;
        for (size_t k = 1; k < len; k++)
            if ((p[k] & 0xC0) != 0x80) return false;
        p += len;
    }
    return true;
}

size_t bom_length(const std::string& bytes) {
    return bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

// A text value of the file's name has a directory form when it ends in "/"
// or "\", or in a "." or ".." segment.
bool directory_form(const Cell* file) {
    std::string text = string::to_utf8(file);
    if (text.empty()) return false;
    char last = text.back();
    if (last == '/' || last == '\\') return true;
    auto ends_with = [&](const char* tail) {
        size_t n = std::char_traits<char>::length(tail);
        return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
    };
    if (text == "." || text == "..") return true;
    return ends_with("/.") || ends_with("/..") || ends_with("\\.") || ends_with("\\..");
}

// A directory's entries as files, directories ending in "/"; "/" alone
// lists the drives where the system has them.
Cell* read_directory(Cell* dir) {
    std::vector<os::Entry> entries;
    std::string text = string::to_utf8(dir);
    std::vector<std::string> drives;
    if (text == "/") drives = os::drives();
    if (drives.empty()) {
        if (!os::list_dir(os_name(dir), entries)) raise_error("access", "cannot-open", dir);
        std::sort(entries.begin(), entries.end(),
                  [](const os::Entry& a, const os::Entry& b) { return a.name < b.name; });
    }
    Cell list = block::make(int32_t(entries.size() + drives.size()));
    gc::CellRoot keep(&list);
    for (const std::string& d : drives) {
        Cell f = make_file(d);
        gc::CellRoot keep_f(&f);
        block::append_copy(&list, &f);
    }
    for (const os::Entry& e : entries) {
        Cell f = make_file(e.directory ? e.name + '/' : e.name);
        gc::CellRoot keep_f(&f);
        block::append_copy(&list, &f);
    }
    return block::push_cell(&list);
}

// An integer refinement argument, or -1 when absent or of another type.
int64_t integer_arg(const Cell* arg) {
    return arg && type_of(arg) == TYPE_INTEGER ? int64_t(integer::get_value(arg)) : -1;
}

// The bytes a value writes: a string! as UTF-8 (at most `part`
// characters), each LF as CR LF unless `binary`; a binary! as it is (at
// most `part` bytes); anything else formed first.
void append_converted(std::string& out, Cell* value, bool binary, int64_t part) {
    Cell v = *value;
    gc::CellRoot keep(&v);
    uint32_t t = type_of(&v);
    if (t == TYPE_BINARY) {
        uint32_t n = binary::length_from_index(&v);
        if (part > 0 && part < int64_t(n)) n = uint32_t(part);
        out.append(reinterpret_cast<const char*>(binary::data_at_index(&v)), n);
        return;
    }
    if (t != TYPE_STRING) {
        Cell text = string::make(16);
        gc::CellRoot keep_text(&text);
        dispatch::form(&v, &text, nullptr, INT32_MAX);
        v = text;
    }
    std::string utf8 = string::to_utf8(&v);
    if (part >= 0) {
        // Cut after `part` characters.
        size_t i = 0;
        for (int64_t chars = 0; i < utf8.size() && chars < part; ++chars) {
            ++i;
            while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
        }
        utf8.resize(i);
    }
    if (binary) {
        out += utf8;
        return;
    }
    out.reserve(out.size() + utf8.size() + utf8.size() / 32);
    size_t from = 0;
    for (size_t lf; (lf = utf8.find('\n', from)) != std::string::npos; from = lf + 1) {
        out.append(utf8, from, lf - from);
        out += "\r\n";
    }
    out.append(utf8, from, std::string::npos);
}

// Writes all the bytes through a handle opened with `mode`, at `seek` (or
// the end when appending); false on any failure.
bool write_through(const std::string& name, uint32_t mode, int64_t seek, const std::string& bytes) {
    os::Handle h = os::open(name, mode);
    if (h == os::BAD_HANDLE) return false;
    bool ok = true;
    if (mode & os::APPEND) ok = os::seek_end(h);
    else if (seek >= 0) ok = os::seek(h, seek);
    if (ok && !bytes.empty()) ok = os::write(h, bytes.data(), bytes.size()) == int64_t(bytes.size());
    return os::close(h) && ok;
}

// Replaces a file's whole content.  An existing plain file is written to a
// temporary beside it, which then takes its place: a write that fails
// (a full disk, an error half-way) leaves the old content as it was.  A
// file that cannot be written is refused before anything is made.  Where a
// temporary cannot be had (a directory that takes no new files, a file
// other names share, a device), the file is written in place.
bool replace_content(const std::string& name, const std::string& bytes) {
    std::string target = os::real_name(name);
    os::Info info = os::query(target);
    if (info.exists && info.regular && !info.shared) {
        os::Handle probe = os::open(target, os::WRITE | os::SEEK);
        if (probe == os::BAD_HANDLE) return false;
        os::close(probe);
        std::string temporary = os::temporary_beside(target);
        os::Handle h = os::open(temporary, os::WRITE);
        if (h != os::BAD_HANDLE) {
            bool written = bytes.empty() || os::write(h, bytes.data(), bytes.size()) == int64_t(bytes.size());
            written = os::close(h) && written;
            if (!written) {
                os::remove_file(temporary);
                return false;
            }
            if (os::replace(temporary, target)) return true;
            // The file is held open elsewhere in a way that refuses its
            // replacement: it is written in place as before.
            os::remove_file(temporary);
        }
    }
    return write_through(target, os::WRITE, -1, bytes);
}

// ---- file!'s actions ----------------------------------------------------------------------------

Cell* read_action(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    (void)info;
    if (as) raise_error("internal", "not-done");
    if (directory_form(source)) return read_directory(source);
    std::string bytes;
    if (!read_bytes(source, integer_arg(seek), integer_arg(part), bytes))
        raise_error("access", "cannot-open", source);
    Cell result;
    gc::CellRoot keep(&result);
    if (binary) {
        result = binary::make(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
    } else if (lines) {
        result = block::make(16);
        if (!split_lines(bytes, &result)) raise_error("access", "invalid-utf8", source);
    } else if (!decode_text(bytes, &result)) {
        raise_error("access", "invalid-utf8", source);
    }
    return block::push_cell(&result);
}

Cell* write_action(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
                   Cell* seek, Cell* allow, Cell* as) {
    (void)info;
    if (allow || as) raise_error("internal", "not-done");
    if (seek && type_of(seek) != TYPE_INTEGER) raise_error("script", "invalid-refine-arg", "seek", seek);
    int64_t at = integer_arg(seek);
    Cell* result = stack::arguments_base();
    if (seek && at < 0) {
        *result = Cell{TYPE_UNSET, 0, 0, 0};
        return result;
    }
    int64_t limit = integer_arg(part);
    // The bytes are made before the file is touched: a value that cannot
    // be converted leaves the file as it was.
    std::string bytes;
    if (lines && type_of(data) == TYPE_BLOCK) {
        Cell block = *data;
        gc::CellRoot keep(&block);
        uint32_t n = block::length(&block);
        for (uint32_t i = 0; i < n; ++i) {
            append_converted(bytes, block::item(&block, i), binary, limit);
            bytes += "\r\n";
        }
    } else {
        append_converted(bytes, data, binary, limit);
        if (lines) bytes += "\r\n";
    }
    std::string name = os_name(destination);
    bool ok;
    if (append) ok = write_through(name, os::WRITE | os::APPEND, -1, bytes);
    else if (seek) ok = write_through(name, os::WRITE | os::SEEK, at, bytes);
    else ok = replace_content(name, bytes);
    if (!ok) raise_error("access", "cannot-open", destination);
    *result = Cell{TYPE_UNSET, 0, 0, 0};
    return result;
}

Cell* query_action(Cell* file) {
    std::string text = string::to_utf8(file);
    os::Info info = os::query(os_name(file));
    bool dir_asked = !text.empty() && (text.back() == '/' || text.back() == '\\');
    Cell* result = stack::arguments_base();
    if (!info.exists || (dir_asked && !info.directory)) {
        none::set(result);
        return result;
    }
    Cell date;
    date::init_cell_from_hms(&date, info.year, info.month, info.day, info.hour, info.minute, info.second,
                             info.nanoseconds);
    *result = date;
    return result;
}

Cell* delete_action(Cell* file) {
    std::string text = string::to_utf8(file);
    bool dir = !text.empty() && (text.back() == '/' || text.back() == '\\');
    bool done = dir ? os::remove_dir(os_name(file)) : os::remove_file(os_name(file));
    Cell* result = stack::arguments_base();
    logic::set(result, done);
    return result;
}

Cell* rename_action(Cell* from, Cell* to) {
    if (!is_any_string(type_of(to))) raise_error("script", "invalid-arg", to);
    bool done = os::rename(os_name(from), os_name(to));
    Cell* result = stack::arguments_base();
    logic::set(result, done);
    return result;
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
    os::Info info = os::query(os_name(file));
    return info.exists && !info.directory ? info.size : -1;
}

bool read(const Cell* file, std::string& out) { return read_bytes(file, -1, -1, out); }

bool read_bytes(const Cell* file, int64_t seek, int64_t part, std::string& out) {
    out.clear();
    os::Handle h = os::open(os_name(file), os::READ);
    if (h == os::BAD_HANDLE) return false;
    int64_t size = os::size(h);
    bool ok = size >= 0;
    if (ok && size == 0) {
        // No size reported: read to the end, then take the range asked for.
        std::string all;
        for (int64_t got = 1; ok && got > 0;) {
            size_t at = all.size();
            if (at > memory::MAX_CAPACITY - CHUNK) ok = false;
            else {
                all.resize(at + CHUNK);
                got = os::read(h, all.data() + at, CHUNK);
                ok = got >= 0;
                all.resize(at + size_t(got > 0 ? got : 0));
            }
        }
        if (ok) {
            size_t from = seek > 0 ? size_t(std::min<int64_t>(seek, int64_t(all.size()))) : 0;
            size_t n = all.size() - from;
            if (part >= 0 && uint64_t(part) < n) n = size_t(part);
            out.assign(all, from, n);
        }
    } else if (ok) {
        if (seek > 0) {
            size = seek >= size ? 0 : size - seek;
            ok = size == 0 || os::seek(h, seek);
        }
        if (part >= 0 && part < size) size = part;
        if (size > int64_t(memory::MAX_CAPACITY)) ok = false;
        if (ok && size > 0) {
            out.resize(size_t(size));
            size_t done = 0;
            while (ok && done < out.size()) {
                int64_t got = os::read(h, out.data() + done, out.size() - done);
                if (got < 0) ok = false;
                else if (got == 0) break;   // the file shrank meanwhile
                else done += size_t(got);
            }
            out.resize(done);
        }
    }
    os::close(h);
    if (!ok) out.clear();
    return ok;
}

bool decode_text(const std::string& bytes, Cell* out) {
    size_t from = bom_length(bytes);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (!valid_utf8(p + from, p + bytes.size())) return false;
    if (bytes.find('\r', from) == std::string::npos) {
        *out = string::from_utf8(bytes.data() + from, bytes.size() - from);
        return true;
    }
    std::string text;
    text.reserve(bytes.size() - from);
    for (size_t i = from; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c != '\r') text += c;
        else {
            text += '\n';
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        }
    }
    *out = string::from_utf8(text.data(), text.size());
    return true;
}

bool split_lines(const std::string& bytes, Cell* block) {
    size_t from = bom_length(bytes);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (!valid_utf8(p + from, p + bytes.size())) return false;
    while (from < bytes.size()) {
        size_t end = bytes.find('\n', from);
        if (end == std::string::npos) end = bytes.size();
        size_t stop = end > from && bytes[end - 1] == '\r' ? end - 1 : end;
        Cell line = string::from_utf8(bytes.data() + from, stop - from);
        gc::CellRoot keep_line(&line);
        block::append_copy(block, &line);
        from = end + 1;
    }
    return true;
}

file::Layer layer() {
    file::Layer l;
    l.read = read_action;
    l.write = write_action;
    l.query = query_action;
    l.remove = delete_action;
    l.rename = rename_action;
    return l;
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

bool create_dir(const Cell* dir) { return os::make_dir(os_name(dir)); }

bool exists(const Cell* path) { return os::query(os_name(path)).exists; }

}  // namespace qor::files
