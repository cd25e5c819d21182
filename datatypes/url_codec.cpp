// Percent encoding and decoding of text.
#include "datatypes/url_codec.hpp"

#include <string>

#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "datatypes/unicode.hpp"
#include "datatypes/text_literal.hpp"

namespace qor::url {

namespace {

int32_t hex_digit(uint32_t c) {
    if (c >= '0' && c <= '9') return int32_t(c - '0');
    if (c >= 'A' && c <= 'F') return int32_t(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return int32_t(c - 'a' + 10);
    return -1;
}

// The byte of the escape at text[i], or -1 when there is none.
int32_t escape_at(const std::u32string& text, size_t i) {
    if (i + 2 >= text.size() || text[i] != U'%') return -1;
    int32_t hi = hex_digit(text[i + 1]), lo = hex_digit(text[i + 2]);
    return hi < 0 || lo < 0 ? -1 : hi << 4 | lo;
}

// The character that `n` consecutive escapes from text[i] spell as UTF-8,
// or -1 when they do not.
int32_t escaped_sequence(const std::u32string& text, size_t i, uint32_t n) {
    uint8_t bytes[5] = {0, 0, 0, 0, 0};
    for (uint32_t k = 0; k < n; k++) {
        int32_t b = escape_at(text, i + 3 * k);
        if (b < 0) return -1;
        bytes[k] = uint8_t(b);
    }
    int32_t cp;
    const uint8_t* after = unicode::utf8_decode_char(bytes, &cp);
    return after == bytes + n ? cp : -1;
}

}  // namespace

bool plain_byte(uint32_t selector, uint8_t b) {
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) return true;
    if (b == '-' || b == '.' || b == '_' || b == '~') return true;
    if (selector == STRICT_SET) return false;
    switch (b) {
    case '!': case '#': case '$': case '&': case '\'': case '(': case ')': case '*': case '+':
    case ',': case '/': case ':': case '=': case '?': case '@':
        return true;
    default:
        return false;
    }
}

void encode_percent(const Cell* text, Cell* target, uint32_t selector) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string bytes = string::to_utf8(text);
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        uint8_t b = uint8_t(ch);
        if (b < 128 && plain_byte(selector, b)) {
            out += char(b);
        } else {
            out += '%';
            out += HEX[b >> 4];
            out += HEX[b & 15];
        }
    }
    string::append_ascii(target, out.data(), out.size());
}

bool decode_escape(const uint8_t* p, uint32_t available, uint8_t* byte) {
    if (available < 3 || p[0] != '%') return false;
    int32_t hi = hex_digit(p[1]), lo = hex_digit(p[2]);
    if (hi < 0 || lo < 0) return false;
    *byte = uint8_t(hi << 4 | lo);
    return true;
}

void decode_percent(const Cell* text, Cell* target) {
    std::u32string chars = string::to_code_points(text);
    for (size_t i = 0; i < chars.size();) {
        int32_t b = escape_at(chars, i);
        if (b < 0) {
            string::append_char(target, chars[i]);
            i++;
            continue;
        }
        uint32_t n = unicode::utf8_lead_length(uint8_t(b));
        if (n >= 2) {
            int32_t cp = escaped_sequence(chars, i, n);
            if (cp >= 0) {
                string::append_char(target, uint32_t(cp));
                i += 3 * n;
                continue;
            }
        }
        // ASCII, a continuation byte, or a lead byte whose sequence is
        // broken: the byte's own code point.
        string::append_char(target, uint32_t(b));
        i += 3;
    }
}

Cell decode_to_string(const Cell* text) {
    Cell source = *text;
    gc::CellRoot keep_source(&source);
    Cell out = string::make(string::length(&source));
    gc::CellRoot keep(&out);
    decode_percent(&source, &out);
    return out;
}

}  // namespace qor::url

namespace qor::url {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out) {
    // A leading ":" or "'" makes a malformed word of another kind.
    if (*start == ':') return TYPE_GET_WORD;
    if (*start == '\'') return TYPE_LIT_WORD;
    return text_literal::decode(start, end, seen, text_literal::ESCAPES | text_literal::PERCENT, TYPE_URL, make,
                                out);
}

}  // namespace qor::url
