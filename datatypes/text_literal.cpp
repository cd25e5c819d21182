// String-like literal text: UTF-8, escapes, and the string value made of it.
#include "datatypes/text_literal.hpp"

#include <cstring>
#include <vector>

#include "datatypes/literal.hpp"
#include "datatypes/string.hpp"

namespace qor::text_literal {

namespace {

inline int32_t hex_value(uint32_t c) {
    if (c >= '0' && c <= '9') return int32_t(c - '0');
    c |= 0x20;
    if (c >= 'a' && c <= 'f') return int32_t(c - 'a' + 10);
    return -1;
}
inline char lower(uint8_t c) { return char(c >= 'A' && c <= 'Z' ? c | 0x20 : c); }

struct EscapeName {
    const char* name;
    uint32_t    cp;
};
constexpr EscapeName ESCAPE_NAMES[] = {
    {"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27}, {"del", 127},
};

// A "^" escape at p; answers the bytes consumed, 0 when malformed.
uint32_t decode_escape(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
    if (end - p < 2) return 0;
    uint8_t c = p[1];
    switch (c) {
    case '(': {
        const uint8_t* q = p + 2;
        const uint8_t* close = q;
        while (close < end && close - q <= 6 && *close != ')') close++;
        if (close == end || *close != ')' || close == q) return 0;
        uint32_t n = uint32_t(close - q);
        uint32_t v = 0;
        bool hex = true;
        for (const uint8_t* h = q; h < close && hex; h++) {
            int32_t d = hex_value(*h);
            if (d < 0) hex = false;
            else v = v * 16 + uint32_t(d);
        }
        if (!hex) {
            for (const EscapeName& e : ESCAPE_NAMES) {
                if (std::strlen(e.name) != n) continue;
                bool same = true;
                for (uint32_t i = 0; i < n && same; i++) same = lower(q[i]) == e.name[i];
                if (same) {
                    *cp = e.cp;
                    return n + 3;
                }
            }
            return 0;
        }
        if (v > 0x10FFFF) return 0;
        *cp = v;
        return n + 3;
    }
    case '"': *cp = '"'; return 2;
    case '-': *cp = '\t'; return 2;
    case '/': *cp = '\n'; return 2;
    case '@': *cp = 0; return 2;
    case '^': *cp = '^'; return 2;
    case '{': *cp = '{'; return 2;
    case '}': *cp = '}'; return 2;
    case '~': *cp = 127; return 2;
    default:
        break;
    }
    if (c >= 'a' && c <= 'z') {
        *cp = c - 'a' + 1;
        return 2;
    }
    if (c >= 'A' && c <= '_') {
        *cp = c - 64;
        return 2;
    }
    // Any other character stands for itself.
    uint32_t n = utf8_char(p + 1, end, cp);
    return n ? n + 1 : 0;
}

// Percent escapes (%XX) in file and url names: a run of them is decoded as
// UTF-8 where it forms valid characters, else byte by byte.
uint32_t decode_percent(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
    uint8_t bytes[4];
    uint32_t n = 0;
    const uint8_t* q = p;
    while (n < 4 && end - q >= 3 && q[0] == '%' && hex_value(q[1]) >= 0 && hex_value(q[2]) >= 0) {
        bytes[n++] = uint8_t(hex_value(q[1]) * 16 + hex_value(q[2]));
        q += 3;
        if (n == 1 && bytes[0] < 0x80) break;
        if (n >= 2 && utf8_char(bytes, bytes + n, cp) == n) return 3 * n;
    }
    if (n == 0) return 0;
    *cp = bytes[0];
    return 3;
}

// Code points of a text being loaded; reused between tokens (nothing inside
// a decode calls back into the lexer).
std::vector<uint32_t>& text_buffer() {
    static std::vector<uint32_t> buffer;
    return buffer;
}

}  // namespace


uint32_t utf8_char(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
    uint8_t b = *p;
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    uint32_t n, c, min;
    if (b >= 0xC2 && b <= 0xDF) n = 2, c = b & 0x1F, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, c = b & 0x0F, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, c = b & 0x07, min = 0x10000;
    else return 0;
    if (end - p < int32_t(n)) return 0;
    for (uint32_t i = 1; i < n; i++) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *cp = c;
    return n;
}

uint32_t decode_char(const uint8_t* p, const uint8_t* end, bool escapes, uint32_t* cp) {
    if (p >= end) return 0;
    if (escapes && *p == '^') return decode_escape(p, end, cp);
    return utf8_char(p, end, cp);
}

uint32_t decode(const uint8_t* start, const uint8_t* end, uint32_t seen, uint32_t mode, uint32_t type,
                bool make, Cell* out) {
    bool escapes = (mode & ESCAPES) && (seen & literal::SEEN_CARET);
    bool percent = (mode & PERCENT) && (seen & literal::SEEN_PERCENT);
    out->header = type;
    // Plain ASCII: the bytes are the characters.
    if (!escapes && !percent && !(seen & (literal::SEEN_LEAD2 | literal::SEEN_LEAD4))) {
        bool plain = true;
        for (const uint8_t* p = start; p < end && plain; p++) plain = *p < 0x80;
        if (plain) {
            if (!make) return 0;
            uint32_t n = uint32_t(end - start);
            string::init_cell_sized(out, 1, n);
            SeriesBuffer* b = string::buffer(out);
            std::memcpy(b->head, start, n);
            b->tail = b->head + n;
            out->header = type;
            return 0;
        }
    }
    std::vector<uint32_t>& chars = text_buffer();
    chars.clear();
    uint32_t widest = 0;
    for (const uint8_t* p = start; p < end;) {
        uint32_t cp = 0, n;
        if (escapes && *p == '^') n = decode_escape(p, end, &cp);
        else if (percent && *p == '%') n = decode_percent(p, end, &cp);
        else n = utf8_char(p, end, &cp);
        if (n == 0) return type;
        p += n;
        chars.push_back(cp);
        if (cp > widest) widest = cp;
    }
    if (!make) return 0;
    uint32_t unit = widest <= 0xFF ? 1 : widest <= 0xFFFF ? 2 : 4;
    uint32_t n = uint32_t(chars.size());
    string::init_cell_sized(out, unit, n);
    SeriesBuffer* b = string::buffer(out);
    uint8_t* to = b->head;
    for (uint32_t cp : chars) {
        if (unit == 1) *to = uint8_t(cp);
        else if (unit == 2) { uint16_t v = uint16_t(cp); std::memcpy(to, &v, 2); }
        else std::memcpy(to, &cp, 4);
        to += unit;
    }
    b->tail = to;
    out->header = type;
    return 0;
}

bool valid(const uint8_t* start, const uint8_t* end, bool escapes) {
    for (const uint8_t* p = start; p < end;) {
        uint32_t cp, n = escapes && *p == '^' ? decode_escape(p, end, &cp) : utf8_char(p, end, &cp);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

}  // namespace qor::text_literal
