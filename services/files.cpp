// File name conversions for the routines.
#include "services/files.hpp"

#include <system_error>

#include "datatypes/string.hpp"
#include "evaluator/natives_system.hpp"
#include "runtime/collector.hpp"

namespace qor::file_names {

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

std::filesystem::path os_path(const Cell* file) {
    std::string utf8 = natives::sys::os_file_name(file);
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

}  // namespace qor::file_names
