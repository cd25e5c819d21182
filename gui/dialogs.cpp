// File and folder requesters: argument checks, filters, selection buffers,
// and the routines behind system/view/platform/request-file and request-dir.
#include "gui/dialogs.hpp"

#include "datatypes/block.hpp"
#include "datatypes/file_path.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/unicode.hpp"
#include "gui/control_routines.hpp"
#include "gui/window_system.hpp"
#include "library/routines.hpp"
#include "runtime/collector.hpp"

namespace qor::gui {

namespace dialogs {

const std::vector<std::pair<std::string, std::string>>& default_filters() {
    static const std::vector<std::pair<std::string, std::string>> filters = {
        {"All files", "*.*"},
        {"Qor scripts", "*.qor;*.qors"},
        {"VAMEL scripts", "*.r"},
        {"Text files", "*.txt"},
    };
    return filters;
}

std::u16string utf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c, n = 0;
        if (c >= 0xF0) cp = c & 0x07, n = 3;
        else if (c >= 0xE0) cp = c & 0x0F, n = 2;
        else if (c >= 0xC0) cp = c & 0x1F, n = 1;
        ++i;
        for (; n && i < s.size(); --n, ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

std::string utf8(const std::u16string& t) {
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        uint32_t cp = t[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < t.size() && t[i + 1] >= 0xDC00 && t[i + 1] < 0xE000)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (t[++i] - 0xDC00);
        uint8_t bytes[4];
        out.append(reinterpret_cast<const char*>(bytes), unicode::utf8_encode_char(cp, bytes));
    }
    return out;
}

std::u16string filter_buffer(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::u16string out;
    if (pairs.empty()) return out;
    for (const auto& [description, pattern] : pairs) {
        out += utf16(description);
        out += u'\0';
        out += utf16(pattern);
        out += u'\0';
    }
    out += u'\0';
    return out;
}

std::vector<std::u16string> split_selection(const char16_t* buffer, size_t room) {
    std::vector<std::u16string> parts;
    size_t i = 0;
    while (i < room && buffer[i]) {
        size_t start = i;
        while (i < room && buffer[i]) ++i;
        parts.emplace_back(buffer + start, i - start);
        ++i;   // the NUL
    }
    if (parts.size() <= 1) return parts;
    std::u16string folder = parts.front();
    if (folder.empty() || folder.back() != u'\\') folder += u'\\';
    std::vector<std::u16string> paths;
    for (size_t k = 1; k < parts.size(); ++k) paths.push_back(folder + parts[k]);
    return paths;
}

std::string qor_path(const std::string& local) {
    std::string p = local;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
        std::string rest = p.substr(2);
        if (rest.empty()) rest = "/";
        return "/" + std::string(1, char(std::tolower(static_cast<unsigned char>(p[0])))) + rest;
    }
    if (p.rfind("//", 0) == 0) return p.substr(1);
    return p;
}

}  // namespace dialogs

namespace {

Cell* answer(const Cell& v) {
    *routines::result_cell() = v;
    return routines::result_cell();
}
Cell none() { return Cell{TYPE_NONE, 0, 0, 0}; }

bool is_text(const Cell* v) { return type_of(v) == TYPE_STRING || type_of(v) == TYPE_FILE; }

// A file! or string! argument in local form (a string is taken as written).
std::string local_form(const Cell* v) {
    if (type_of(v) == TYPE_STRING) return string::to_utf8(v);
    Cell target = string::make(64);
    gc::CellRoot keep(&target);
    file::to_local_path(v, &target, false);
    return string::to_utf8(&target);
}

Cell file_value(const std::string& local) {
    Cell f = string::from_utf8(dialogs::qor_path(local).c_str());
    f.header = (f.header & ~TYPE_MASK) | TYPE_FILE;
    return f;
}

// title name filter save? multi?
Cell* request_file(Cell* const* args) {
    FileDialog d;
    if (type_of(args[0]) == TYPE_STRING) {
        d.has_title = true;
        d.title = string::to_utf8(args[0]);
    }
    if (is_text(args[1])) {
        std::string name = local_form(args[1]);
        size_t cut = name.rfind('\\');
        if (cut == std::string::npos) {
            d.initial_name = name;
        } else {
            d.initial_dir = name.substr(0, cut);
            d.initial_name = name.substr(cut + 1);
        }
    }
    if (type_of(args[2]) == TYPE_BLOCK) {
        d.default_filter = false;
        uint32_t n = block::length(args[2]);
        for (uint32_t i = 0; i < n; ++i)
            if (!is_text(block::item(args[2], i))) raise_error("script", "invalid-arg", block::item(args[2], i));
        for (uint32_t i = 0; i + 1 < n; i += 2)
            d.filters.emplace_back(string::to_utf8(block::item(args[2], i)),
                                   string::to_utf8(block::item(args[2], i + 1)));
    }
    d.save = args[3]->data1 != 0;
    d.multi = args[4]->data1 != 0;
    std::vector<std::string> paths;
    if (!ws().file_dialog || !ws().file_dialog(d, &paths) || paths.empty()) return answer(none());
    if (!d.multi) return answer(file_value(paths.front()));
    Cell list = block::make(uint32_t(paths.size()));
    gc::CellRoot keep(&list);
    for (const std::string& p : paths) {
        Cell f = file_value(p);
        block::append_copy(&list, &f);
    }
    return answer(list);
}

// title dir filter keep? multi? (filter and multi? are not used by folders)
Cell* request_dir(Cell* const* args) {
    FolderDialog d;
    if (type_of(args[0]) == TYPE_STRING) {
        d.has_title = true;
        d.title = string::to_utf8(args[0]);
    }
    if (is_text(args[1])) d.start_dir = local_form(args[1]);
    d.keep = args[3]->data1 != 0;
    std::string path;
    if (!ws().folder_dialog || !ws().folder_dialog(d, &path)) return answer(none());
    if (path.empty() || path.back() != '\\') path += '\\';
    return answer(file_value(path));
}

const routines::Entry DIALOGS[] = {
    {"gui-request-file", request_file},
    {"gui-request-dir", request_dir},
    {nullptr, nullptr},
};

}  // namespace

const routines::Entry* dialog_entries() { return DIALOGS; }

}  // namespace qor::gui
