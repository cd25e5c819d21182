#include "runtime/raw_utf.hpp"

namespace qor::raw_utf {

static bool is_surrogate(uint32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

size_t encode_utf8(uint32_t cp, char* out) {
    if (cp > 0x10FFFF || is_surrogate(cp)) cp = REPLACEMENT;
    if (cp < 0x80) {
        out[0] = char(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = char(0xC0 | (cp >> 6));
        out[1] = char(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = char(0xE0 | (cp >> 12));
        out[1] = char(0x80 | ((cp >> 6) & 0x3F));
        out[2] = char(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (cp >> 18));
    out[1] = char(0x80 | ((cp >> 12) & 0x3F));
    out[2] = char(0x80 | ((cp >> 6) & 0x3F));
    out[3] = char(0x80 | (cp & 0x3F));
    return 4;
}

uint32_t decode_utf8(const unsigned char* s, size_t avail, size_t* used) {
    unsigned b = s[0];
    *used = 1;
    if (b < 0x80) return b;
    size_t len;
    uint32_t cp;
    // The accepted range of the second byte tells overlong forms, surrogates
    // and values above U+10FFFF apart without decoding them first.
    unsigned lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        cp = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        cp = b & 0x07;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return REPLACEMENT;
    }
    for (size_t i = 1; i < len; ++i) {
        if (i >= avail) return REPLACEMENT;
        unsigned c = s[i];
        if (c < lo || c > hi) return REPLACEMENT;
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (c & 0x3F);
        *used = i + 1;
    }
    return cp;
}

size_t encode_utf16(uint32_t cp, char16_t* out) {
    if (cp > 0x10FFFF || is_surrogate(cp)) cp = REPLACEMENT;
    if (cp < 0x10000) {
        out[0] = char16_t(cp);
        return 1;
    }
    cp -= 0x10000;
    out[0] = char16_t(0xD800 | (cp >> 10));
    out[1] = char16_t(0xDC00 | (cp & 0x3FF));
    return 2;
}

uint32_t decode_utf16(const char16_t* s, size_t avail, size_t* used) {
    uint32_t u = s[0];
    *used = 1;
    if (!is_surrogate(u)) return u;
    if (u >= 0xDC00 || avail < 2) return REPLACEMENT;
    uint32_t v = s[1];
    if (v < 0xDC00 || v > 0xDFFF) return REPLACEMENT;
    *used = 2;
    return 0x10000 + ((u & 0x3FF) << 10) + (v & 0x3FF);
}

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    auto s = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = 0, n = text.size();
    char16_t units[2];
    while (i < n) {
        size_t used;
        uint32_t cp = decode_utf8(s + i, n - i, &used);
        i += used;
        out.append(units, encode_utf16(cp, units));
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0, n = text.size();
    char bytes[4];
    while (i < n) {
        size_t used;
        uint32_t cp = decode_utf16(text.data() + i, n - i, &used);
        i += used;
        out.append(bytes, encode_utf8(cp, bytes));
    }
    return out;
}

}  // namespace qor::raw_utf
