// Text-to-number scanning.
#include "datatypes/number_scan.hpp"

#include <cstring>
#include <limits>

#include "datatypes/string.hpp"
#include "runtime/text_to_float.hpp"

namespace qor::number_scan {

namespace {

inline bool is_digit(uint32_t c) { return c >= '0' && c <= '9'; }
inline bool is_alpha(uint32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// The float syntax automaton: 7 byte classes, 11 states and an error state.
enum FloatClass : uint8_t { FC_OTHER, FC_SIGN, FC_DIGIT, FC_E, FC_DOT, FC_QUOTE, FC_END };
enum FloatState : uint8_t {
    FS_START, FS_SIGN, FS_INT, FS_INT_QUOTE, FS_LEAD_DOT, FS_FRAC, FS_FRAC_QUOTE, FS_E, FS_E_SIGN,
    FS_EXP, FS_POINT, FS_ERROR, FS_VALID,
};

constexpr uint8_t FLOAT_NEXT[11][7] = {
    //              other     sign       digit     e         dot           quote          end
    /* START */     {FS_ERROR, FS_SIGN,  FS_INT,   FS_ERROR, FS_LEAD_DOT, FS_ERROR,      FS_ERROR},
    /* SIGN */      {FS_ERROR, FS_ERROR, FS_INT,   FS_ERROR, FS_LEAD_DOT, FS_ERROR,      FS_ERROR},
    /* INT */       {FS_ERROR, FS_ERROR, FS_INT,   FS_E,     FS_POINT,    FS_INT_QUOTE,  FS_VALID},
    /* INT_QUOTE */ {FS_ERROR, FS_ERROR, FS_INT,   FS_ERROR, FS_ERROR,    FS_ERROR,      FS_ERROR},
    /* LEAD_DOT */  {FS_ERROR, FS_ERROR, FS_FRAC,  FS_ERROR, FS_ERROR,    FS_ERROR,      FS_ERROR},
    /* FRAC */      {FS_ERROR, FS_ERROR, FS_FRAC,  FS_E,     FS_ERROR,    FS_FRAC_QUOTE, FS_VALID},
    /* FRAC_QUOTE */{FS_ERROR, FS_ERROR, FS_FRAC,  FS_ERROR, FS_ERROR,    FS_ERROR,      FS_ERROR},
    /* E */         {FS_ERROR, FS_E_SIGN, FS_EXP,  FS_ERROR, FS_ERROR,    FS_ERROR,      FS_ERROR},
    /* E_SIGN */    {FS_ERROR, FS_ERROR, FS_EXP,   FS_ERROR, FS_ERROR,    FS_ERROR,      FS_ERROR},
    /* EXP */       {FS_ERROR, FS_ERROR, FS_EXP,   FS_ERROR, FS_ERROR,    FS_ERROR,      FS_VALID},
    /* POINT */     {FS_ERROR, FS_ERROR, FS_FRAC,  FS_E,     FS_ERROR,    FS_ERROR,      FS_VALID},
};

inline FloatClass float_class(uint8_t c) {
    if (is_digit(c)) return FC_DIGIT;
    switch (c) {
    case '+': case '-': return FC_SIGN;
    case 'e': case 'E': return FC_E;
    case '.': return FC_DOT;
    case '\'': return FC_QUOTE;
    default: return FC_OTHER;
    }
}

// Copies at most `room` characters of a text value from its index as bytes;
// false when the text is longer or holds a character above 127.
bool text_bytes(const Cell* text, char* out, uint32_t room, uint32_t* n, bool comma_to_dot) {
    uint32_t first = uint32_t(string::index_of(text));
    uint32_t count = string::length(text);
    if (count > room) return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t c = string::char_at(text, first + i);
        if (c > 0x7F) return false;
        out[i] = comma_to_dot && c == ',' ? '.' : char(c);
    }
    *n = count;
    return true;
}

}  // namespace

// ---- Byte ranges ------------------------------------------------------------------------

IntStatus lex_integer(const uint8_t* start, const uint8_t* end, bool separators, int32_t* value) {
    const uint8_t* p = start;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end) return INT_NO_DIGITS;
    // One digit: taken directly.
    if (end - p == 1 && is_digit(*p)) {
        int32_t d = int32_t(*p - '0');
        *value = negative ? -d : d;
        return INT_OK;
    }
    uint32_t digits = 0;
    int32_t n = 0;
    bool overflow = false;
    bool last_quote = false;
    for (; p < end; ++p) {
        uint8_t c = *p;
        if (c == '\'' && separators) {
            if (last_quote) return INT_DOUBLE_QUOTE;
            last_quote = true;
            continue;
        }
        last_quote = false;
        if (!is_digit(c)) return INT_BAD_CHAR;
        if (++digits > 10) overflow = true;
        if (!overflow && (__builtin_mul_overflow(n, 10, &n) || __builtin_add_overflow(n, int32_t(c - '0'), &n)))
            overflow = true;
    }
    if (digits == 0) return INT_NO_DIGITS;
    if (overflow) {
        // The most negative value has no positive counterpart: only its
        // exact text reads as an integer.
        static const char min_text[] = "-2147483648";
        if (size_t(end - start) == sizeof min_text - 1 && std::memcmp(start, min_text, sizeof min_text - 1) == 0) {
            *value = std::numeric_limits<int32_t>::min();
            return INT_OK;
        }
        return INT_AS_FLOAT;
    }
    *value = negative ? -n : n;
    return INT_OK;
}

int32_t time_part_integer(const uint8_t* start, const uint8_t* end, const uint8_t** stop,
                          int32_t* status) {
    const uint8_t* p = start;
    *status = 0;
    bool negative = p < end && *p == '-';
    if (negative) ++p;
    const uint8_t* digits = p;
    int32_t n = 0;
    bool overflow = false;
    for (; p < end; ++p) {
        if (*p == '\'') continue;
        if (!is_digit(*p)) break;
        if (!overflow && (__builtin_mul_overflow(n, 10, &n) || __builtin_add_overflow(n, int32_t(*p - '0'), &n)))
            overflow = true;
    }
    *stop = p;
    if (overflow) {
        static const char min_digits[] = "2147483648";
        if (negative && size_t(p - digits) == sizeof min_digits - 1 &&
            std::memcmp(digits, min_digits, sizeof min_digits - 1) == 0)
            return std::numeric_limits<int32_t>::min();
        *status = -5;
        return 0;
    }
    return negative ? -n : n;
}

int32_t fixed_digits(const uint8_t* start, const uint8_t* end, uint32_t exact, uint32_t max_count,
                     const uint8_t** stop, int32_t* status) {
    *stop = start;
    if (start == end) {
        *status = -2;
        return 0;
    }
    const uint8_t* p = start;
    int32_t n = 0;
    uint32_t count = 0;
    while (p < end && count < max_count && is_digit(*p)) {
        n = n * 10 + int32_t(*p - '0');
        ++p;
        ++count;
    }
    *stop = p;
    *status = count == 0 || (exact > 0 && count != exact) ? -1 : 0;
    return n;
}

double fraction(const uint8_t* start, const uint8_t* end, const uint8_t** stop) {
    const uint8_t* p = start;
    while (p < end && (is_digit(*p) || *p == '.')) ++p;
    *stop = p;
    int32_t rest = 0;
    double v = float_text::strtod(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(p), 0, &rest);
    return v;
}

bool float_syntax_ok(const char* start, const char* end) {
    if (end - start > int32_t(MAX_FLOAT_TEXT)) return false;
    uint8_t s = FS_START;
    for (const char* p = start; p < end; ++p) {
        s = FLOAT_NEXT[s][float_class(uint8_t(*p))];
        if (s == FS_ERROR) return false;
    }
    return FLOAT_NEXT[s][FC_END] == FS_VALID;
}

bool read_float(const uint8_t* start, const uint8_t* end, int32_t scale, double* out) {
    if (!float_syntax_ok(start, end)) return false;
    char buffer[MAX_FLOAT_TEXT];
    uint32_t n = 0;
    for (const uint8_t* p = start; p < end; ++p)
        if (*p != '\'') buffer[n++] = char(*p);
    int32_t rest = 0;
    *out = float_text::strtod(buffer, buffer + n, scale, &rest);
    return rest == 0;
}

bool read_special_float(const uint8_t* start, const uint8_t* end, double* out) {
    const uint8_t* p = start;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (end - p != 6 || p[0] != '1' || p[1] != '.' || p[2] != '#') return false;
    char word[4] = {char(p[3] | 0x20), char(p[4] | 0x20), char(p[5] | 0x20), 0};
    if (std::strcmp(word, "inf") == 0) {
        *out = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    if (std::strcmp(word, "nan") == 0) {
        *out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    return false;
}

int32_t read_tuple(const uint8_t* start, const uint8_t* end, uint8_t bytes[12]) {
    int32_t parts = 0;
    const uint8_t* p = start;
    while (true) {
        if (parts == 12) return -1;
        uint32_t n = 0, digits = 0;
        while (p < end && is_digit(*p)) {
            n = n * 10 + (*p++ - '0');
            if (++digits > 3 || n > 255) return -1;
        }
        if (digits == 0) return -1;
        bytes[parts++] = uint8_t(n);
        if (p == end) break;
        if (*p != '.') return -1;
        if (++p == end) break;  // a trailing dot ends the tuple
    }
    for (int32_t i = parts; i < 12; i++) bytes[i] = 0;
    return parts;
}

bool money_parts(const uint8_t* start, const uint8_t* end, bool dollar_optional, MoneyParts* parts) {
    *parts = MoneyParts{};
    const uint8_t* p = start;
    if (p < end && (*p == '+' || *p == '-')) parts->negative = *p++ == '-';
    if (end - p >= 4 && is_alpha(p[0]) && is_alpha(p[1]) && is_alpha(p[2])) {
        // A currency code must be followed by $.
        if (p[3] != '$') return false;
        for (int i = 0; i < 3; i++) parts->currency[i] = char(p[i]);
        ascii_upper(parts->currency);
        p += 3;
    }
    bool dollar = p < end && *p == '$';
    if (dollar) ++p;
    else if (!dollar_optional || parts->currency[0]) return false;
    if (p == end || !is_digit(*p)) return false;  // no separator or dot right after $
    uint32_t n = 0;
    bool last_quote = false;
    for (; p < end && *p != '.' && *p != ','; ++p) {
        if (*p == '\'') {
            if (last_quote) return false;
            last_quote = true;
            continue;
        }
        last_quote = false;
        if (!is_digit(*p) || n == 17) return false;
        parts->integer[n++] = char(*p);
    }
    if (last_quote) return false;  // a separator at the end
    if (p < end) {
        ++p;  // the decimal mark
        if (p == end) return false;
        uint32_t f = 0;
        for (; p < end; ++p) {
            if (!is_digit(*p) || f == 5) return false;
            parts->fraction[f++] = char(*p);
        }
    }
    return true;
}

void ascii_upper(char* text) {
    for (; *text; ++text)
        if (uint8_t(*text) > 96) *text = char(uint8_t(*text) - 32);
}

// ---- Text values -------------------------------------------------------------------------

int32_t string_to_integer(const Cell* text, int32_t* status) {
    *status = 0;
    uint32_t first = uint32_t(string::index_of(text));
    uint32_t count = string::length(text);
    if (count == 0) {
        *status = -1;
        return 0;
    }
    uint32_t i = 0;
    bool negative = false;
    uint32_t c = string::char_at(text, first);
    if (c == '+' || c == '-') {
        negative = c == '-';
        i = 1;
    }
    // Accumulated negatively when the sign is "-", so the most negative
    // value needs no special case and a digit after it still overflows.
    int32_t value = 0;
    bool digits = false;
    for (; i < count; ++i) {
        c = string::char_at(text, first + i);
        if (c == '\'') continue;
        if (!is_digit(c)) {
            *status = -1;
            return value;
        }
        int32_t digit = int32_t(c - '0');
        if (__builtin_mul_overflow(value, 10, &value) ||
            (negative ? __builtin_sub_overflow(value, digit, &value) : __builtin_add_overflow(value, digit, &value))) {
            *status = -2;
            return 0;
        }
        digits = true;
    }
    if (!digits) *status = -1;
    return value;
}

double string_to_float(const Cell* text, int32_t* status) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    *status = -1;
    char bytes[MAX_FLOAT_TEXT];
    uint32_t n = 0;
    if (!text_bytes(text, bytes, MAX_FLOAT_TEXT, &n, true) || n == 0) return nan;
    double value;
    if (!read_float(reinterpret_cast<uint8_t*>(bytes), reinterpret_cast<uint8_t*>(bytes) + n, 0, &value)) return nan;
    *status = 0;
    return value;
}

int32_t string_to_tuple(const Cell* text, uint8_t bytes[12]) {
    char chars[64];
    uint32_t n = 0;
    if (!text_bytes(text, chars, sizeof chars, &n, false)) return -1;
    return read_tuple(reinterpret_cast<uint8_t*>(chars), reinterpret_cast<uint8_t*>(chars) + n, bytes);
}

bool string_to_money_parts(const Cell* text, MoneyParts* parts) {
    char chars[64];
    uint32_t n = 0;
    if (!text_bytes(text, chars, sizeof chars, &n, false)) return false;
    // A code in a text shorter than five characters fails.
    if (n < 5 && n >= 1 && is_alpha(uint8_t(chars[chars[0] == '+' || chars[0] == '-' ? 1 : 0]))) return false;
    return money_parts(reinterpret_cast<uint8_t*>(chars), reinterpret_cast<uint8_t*>(chars) + n, true, parts);
}

}  // namespace qor::number_scan
