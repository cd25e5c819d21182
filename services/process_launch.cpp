// The portable parts of process launch: the reading of command lines and
// the checking of captured text.
#include "services/process_launch.hpp"


namespace qor::process_launch {

namespace {

// The length of the well-formed UTF-8 sequence at p, or 0.
size_t sequence_length(const uint8_t* p, const uint8_t* end) {
    uint8_t b = p[0];
    if (b < 0x80) return 1;
    size_t n;
    uint32_t cp;
    if (b >= 0xC2 && b <= 0xDF) n = 2, cp = b & 0x1Fu;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, cp = b & 0x0Fu;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, cp = b & 0x07u;
    else return 0;
    if (size_t(end - p) < n) return 0;
    for (size_t i = 1; i < n; i++) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (p[i] & 0x3Fu);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return n;
}

}  // namespace

std::string captured_text(const std::string& bytes, const Flags& flags) {
    std::string text = flags.ran_through_shell || flags.shell_wrote_errors ? shell_text_to_utf8(bytes) : bytes;
    std::string out;
    out.reserve(text.size());
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    while (p < end) {
        size_t n = sequence_length(p, end);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            p++;
        } else {
            out.append(reinterpret_cast<const char*>(p), n);
            p += n;
        }
    }
    return out;
}

std::vector<std::string> split_command(const std::string& command) {
    std::vector<std::string> args;
    std::string current;
    bool quoted = false, started = false;
    for (size_t i = 0; i < command.size();) {
        char c = command[i];
        if (c == '\\') {
            size_t n = 0;
            while (i < command.size() && command[i] == '\\') n++, i++;
            if (i < command.size() && command[i] == '"') {
                current.append(n / 2, '\\');
                if (n % 2) {
                    current += '"';
                    i++;
                }
            } else {
                current.append(n, '\\');
            }
            started = true;
        } else if (c == '"') {
            quoted = !quoted;
            started = true;
            i++;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (started) args.push_back(current);
            current.clear();
            started = false;
            i++;
        } else {
            current += c;
            started = true;
            i++;
        }
    }
    if (started) args.push_back(current);
    return args;
}

}  // namespace qor::process_launch
