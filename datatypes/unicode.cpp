// UTF-8 and UTF-16LE conversion of string values, in-place widening and
// the per-value scratch buffer.
#include "datatypes/unicode.hpp"

#include <cstring>

#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"

namespace qor::unicode {

namespace {

// The UTF-8 automaton: byte classes, then transitions indexed by
// state + class (states are multiples of 12: 0 accept, 12 reject).
constexpr uint8_t k_accept = 0;
constexpr uint8_t k_reject = 12;

struct DecoderTables {
    uint8_t classes[256];
    uint8_t transitions[108];
};

constexpr DecoderTables make_tables() {
    DecoderTables t{};
    for (int b = 0; b < 256; b++) {
        uint8_t c = 0;
        if (b <= 0x7F) c = 0;
        else if (b <= 0x8F) c = 1;
        else if (b <= 0x9F) c = 9;
        else if (b <= 0xBF) c = 7;
        else if (b <= 0xC1) c = 8;
        else if (b <= 0xDF) c = 2;
        else if (b == 0xE0) c = 10;
        else if (b <= 0xEC) c = 3;
        else if (b == 0xED) c = 4;
        else if (b <= 0xEF) c = 3;
        else if (b == 0xF0) c = 11;
        else if (b <= 0xF3) c = 6;
        else if (b == 0xF4) c = 5;
        else c = 8;
        t.classes[b] = c;
    }
    const uint8_t rows[108] = {
        0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72,    // 0: start
        12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,   // 12: rejected
        12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12,      // 24: one continuation left
        12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12,   // 36: two left
        12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12,   // 48: after E0, A0-BF only
        12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12,   // 60: after ED, 80-9F only
        12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,   // 72: after F0, 90-BF only
        12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,   // 84: after F1-F3
        12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,   // 96: after F4, 80-8F only
    };
    for (int i = 0; i < 108; i++) t.transitions[i] = rows[i];
    return t;
}

constexpr DecoderTables k_tables = make_tables();

// Windows-1251, bytes 0x80-0xFF (0x98 is unassigned and maps to U+0098).
constexpr uint16_t k_cp1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

inline void put_unit(uint8_t* p, uint32_t unit, uint32_t cp) {
    if (unit == 1) *p = uint8_t(cp);
    else if (unit == 2) { p[0] = uint8_t(cp); p[1] = uint8_t(cp >> 8); }
    else std::memcpy(p, &cp, 4);
}

inline uint32_t room_from_head(SeriesBuffer* s) { return uint32_t(s->data_end() - s->head); }

// A new binary! holding n bytes, for an error argument.
Cell binary_of(const uint8_t* bytes, uint32_t n) {
    Node node = memory::alloc_series(n ? n : 1, 1, 0);
    SeriesBuffer* s = buffer_of(node);
    std::memcpy(s->head, bytes, n);
    s->tail = s->head + n;
    Cell c{TYPE_BINARY, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

[[noreturn]] void invalid_utf8(const uint8_t* p, int32_t available) {
    // At most the four bytes of a sequence, and never past the input.
    uint32_t n = available < 0 ? 0 : available > 4 ? 4 : uint32_t(available);
    uint8_t copy[4];
    std::memcpy(copy, p, n);
    Cell arg = binary_of(copy, n);
    raise_error("access", "invalid-utf8", &arg);
}

[[noreturn]] void invalid_char(uint32_t cp) {
    Cell arg{TYPE_INTEGER, 0, cp, 0};
    raise_error("script", "invalid-char", &arg);
}

// Units of a string value from its (clamped) index, capped by `limit` when
// that is not negative.
uint32_t chars_from_index(const Cell* string, int32_t limit, uint32_t* start) {
    SeriesBuffer* s = buffer_of(cell_node(string));
    uint32_t shift = string::unit_shift(s->unit());
    uint32_t units = s->byte_length() >> shift;
    int32_t index = int32_t(string->data1);
    uint32_t from = index < 0 ? 0 : uint32_t(index) > units ? units : uint32_t(index);
    uint32_t n = units - from;
    if (limit >= 0 && uint32_t(limit) < n) n = uint32_t(limit);
    *start = from;
    return n;
}

// Grows a unit-2 or unit-4 buffer being loaded so that `need` bytes fit
// from its head, by `step` bytes at least.
SeriesBuffer* grow_loading(SeriesBuffer* s, uint32_t need, uint32_t step) {
    if (room_from_head(s) >= need) return s;
    uint32_t want = memory::checked_add(s->capacity, step);
    if (want < need) want = need;
    return memory::expand_series(s, want);
}

}  // namespace

// ---- UTF-8 in ----------------------------------------------------------------------

const uint8_t* utf8_decode_char(const uint8_t* p, int32_t* cp) {
    uint32_t type = k_tables.classes[*p];
    uint32_t code = (0xFFu >> type) & *p;
    uint32_t state = k_tables.transitions[type];
    ++p;
    while (state != k_accept && state != k_reject) {
        uint8_t c = *p++;
        code = (code << 6) | (c & 0x3Fu);
        state = k_tables.transitions[state + k_tables.classes[c]];
    }
    *cp = state == k_reject ? -1 : int32_t(code);
    return p;
}

uint32_t utf8_count_chars(const uint8_t* start, const uint8_t* end) {
    uint32_t n = 0;
    const uint8_t* p = start;
    while (p < end) {
        // ASCII runs four bytes at a time: each byte is a character.
        uint32_t w;
        while (end - p >= 4 && (std::memcpy(&w, p, 4), (w & 0x80808080u) == 0)) {
            p += 4;
            n += 4;
        }
        if (p == end) break;
        // The automaton without a terminator: stop a sequence at `end`.
        uint32_t state = k_tables.transitions[k_tables.classes[*p++]];
        while (state != k_accept && state != k_reject && p < end) state = k_tables.transitions[state + k_tables.classes[*p++]];
        n++;
    }
    return n;
}

const uint8_t* utf8_skip_chars(const uint8_t* p, const uint8_t* end, uint32_t n) {
    while (n > 0 && p < end) {
        uint32_t state = k_tables.transitions[k_tables.classes[*p++]];
        while (state != k_accept && state != k_reject && p < end) state = k_tables.transitions[state + k_tables.classes[*p++]];
        n--;
    }
    return p;
}

uint32_t utf8_lead_length(uint8_t b) {
    if (b >= 0xF0) return 4;
    if (b >= 0xE0) return 3;
    if (b >= 0xC0) return 2;
    return 0;
}

int32_t utf8_decode_char_strict(const uint8_t* p, int32_t* available) {
    int32_t avail = *available;
    uint8_t b = p[0];
    if (b < 0x80) {
        *available = 1;
        return b;
    }
    auto cont = [&](int k) { return (p[k] & 0xC0) == 0x80; };
    int32_t cp;
    int32_t len;
    if (b >= 0xC0 && b <= 0xDF) {
        len = 2;
        if (avail < 2) { *available = len; return -1; }
        if (!cont(1)) invalid_utf8(p, avail);
        cp = int32_t((b - 0xC0u) << 6 | (p[1] - 0x80u));
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        if (avail < 3) { *available = len; return -1; }
        if (!cont(1) || !cont(2)) invalid_utf8(p, avail);
        cp = int32_t((b & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu));
        if ((cp >= 0xDC00 && cp <= 0xDCFF) || cp == 0xFFFE) invalid_utf8(p, avail);
    } else if (b >= 0xF0 && b <= 0xF7) {
        len = 4;
        if (avail < 4) { *available = len; return -1; }
        if (!cont(1) || !cont(2) || !cont(3)) invalid_utf8(p, avail);
        cp = int32_t((b & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu));
        if (cp > 0x10FFFF) invalid_utf8(p, avail);
    } else {
        invalid_utf8(p, avail);
    }
    *available = len;
    return cp;
}

Node load_utf8(const uint8_t* bytes, uint32_t length, Node target, uint32_t* remaining, bool crlf) {
    if (remaining) *remaining = 0;
    uint32_t room = length ? length : 1;
    SeriesBuffer* s;
    if (target) {
        s = buffer_of(target);
        uint32_t need = memory::checked_mul(room, s->unit());
        if (room_from_head(s) < need) s = memory::expand_buffer(s, need);
        s->tail = s->head;   // the old content is replaced
    } else {
        target = memory::alloc_series(room, 1, 0);
        s = buffer_of(target);
    }
    gc::NodeRoot keep(&target);
    if (length == 0) return target;
    const uint8_t* p = bytes;
    const uint8_t* end = bytes + length;
    if (length > 2 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3;

    uint32_t unit = s->unit();
    uint32_t written = 0;   // bytes from the head
    while (p < end) {
        int32_t cp;
        if (*p < 0x80) {
            cp = *p++;
        } else {
            int32_t avail = int32_t(end - p);
            cp = utf8_decode_char_strict(p, &avail);
            if (cp < 0) {
                if (remaining) *remaining = uint32_t(end - p);
                break;
            }
            p += avail;
        }
        if (crlf && cp == '\r') {
            if (p < end && *p == '\n') continue;   // the LF that follows is stored
            cp = '\n';
        }
        uint32_t c = uint32_t(cp);
        if ((unit == 1 && c > 0xFF) || (unit == 2 && c > 0xFFFF)) {
            s->tail = s->head + written;
            s = c > 0xFFFF ? (unit == 1 ? widen_latin1_to_ucs4(s) : widen_ucs2_to_ucs4(s)) : widen_latin1_to_ucs2(s);
            written = written / unit * s->unit();
            unit = s->unit();
        }
        if (written + unit > room_from_head(s)) {
            s->tail = s->head + written;
            s = grow_loading(s, written + unit, unit == 2 ? length / 4 : length);
        }
        put_unit(s->head + written, unit, c);
        written += unit;
    }
    s = buffer_of(target);
    s->tail = s->head + written;
    return target;
}

void load_utf8_into(const uint8_t* bytes, uint32_t length, Cell* string) {
    load_utf8(bytes, length, cell_node(string), nullptr, false);
}

Node load_utf8_new(const uint8_t* bytes, uint32_t length) { return load_utf8(bytes, length, nullptr, nullptr, false); }

// ---- UTF-8 out ----------------------------------------------------------------------

uint32_t utf8_char_size(uint32_t cp) {
    if (cp <= 0x7F) return 1;
    if (cp <= 0x7FF) return 2;
    if (cp <= 0xFFFF) return 3;
    if (cp <= 0x10FFFF) return 4;
    invalid_char(cp);
}

uint32_t utf8_size_of_range(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    uint32_t total = 0;
    if (unit == 1) {
        for (const uint8_t* p = start; p < end; p++) total += *p < 0x80 ? 1 : 2;
        return total;
    }
    for (const uint8_t* p = start; p + unit <= end; p += unit) total += utf8_char_size(string::get_char(p, unit));
    return total;
}

uint32_t utf8_encode_char(uint32_t cp, uint8_t* p) {
    if (cp < 0x80) {
        p[0] = uint8_t(cp);
        return 1;
    }
    if (cp < 0x800) {
        p[0] = uint8_t(0xC0 | cp >> 6);
        p[1] = uint8_t(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        p[0] = uint8_t(0xE0 | cp >> 12);
        p[1] = uint8_t(0x80 | (cp >> 6 & 0x3F));
        p[2] = uint8_t(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp > 0x10FFFF) invalid_char(cp);
    p[0] = uint8_t(0xF0 | cp >> 18);
    p[1] = uint8_t(0x80 | (cp >> 12 & 0x3F));
    p[2] = uint8_t(0x80 | (cp >> 6 & 0x3F));
    p[3] = uint8_t(0x80 | (cp & 0x3F));
    return 4;
}

uint32_t utf8_encode_char_bounded(uint32_t cp, uint8_t* p, uint32_t room) {
    uint8_t bytes[4];
    uint32_t n = utf8_encode_char(cp, bytes);
    uint32_t k = n < room ? n : room;
    std::memcpy(p, bytes, k);
    return k;
}

namespace {

const char* to_utf8_scratch(Cell* string, int32_t* length, bool crlf) {
    uint32_t start;
    uint32_t n = chars_from_index(string, *length, &start);
    uint32_t unit = buffer_of(cell_node(string))->unit();
    uint32_t per = unit == 4 ? 4 : unit + 1;
    uint8_t* out = scratch_buffer(string, memory::checked_mul(per, memory::checked_add(n, 1)));
    SeriesBuffer* s = buffer_of(cell_node(string));
    uint32_t shift = string::unit_shift(unit);
    uint8_t* q = out;
    const uint8_t* p = s->head + (start << shift);
    if (unit == 1) {
        for (uint32_t i = 0; i < n; i++) {
            uint8_t c = p[i];
            if (c < 0x80) {
                if (crlf && c == '\n') *q++ = '\r';
                *q++ = c;
            } else {
                q[0] = uint8_t(0xC0 | c >> 6);
                q[1] = uint8_t(0x80 | (c & 0x3F));
                q += 2;
            }
        }
    } else {
        for (uint32_t i = 0; i < n; i++, p += unit) {
            uint32_t c = string::get_char(p, unit);
            if (crlf && c == '\n') *q++ = '\r';
            q += utf8_encode_char(c, q);
        }
    }
    *q = 0;
    *length = int32_t(q - out);
    return reinterpret_cast<const char*>(out);
}

}  // namespace

const char* to_utf8(Cell* string, int32_t* length) { return to_utf8_scratch(string, length, false); }

const char* to_utf8_lines(Cell* string, int32_t* length, bool crlf) { return to_utf8_scratch(string, length, crlf); }

uint32_t to_utf8_into(const Cell* string, uint8_t* buffer, int32_t length, bool nul) {
    uint32_t start;
    uint32_t n = chars_from_index(string, length, &start);
    SeriesBuffer* s = buffer_of(cell_node(string));
    uint32_t unit = s->unit(), shift = string::unit_shift(unit);
    uint8_t* q = buffer;
    for (uint32_t i = 0; i < n; i++) q += utf8_encode_char(string::get_char(s->head + ((start + i) << shift), unit), q);
    if (nul) *q = 0;
    return uint32_t(q - buffer);
}

uint32_t to_utf8_bounded(const Cell* string, uint8_t* buffer, uint32_t room, int32_t part, bool nul) {
    uint32_t start;
    uint32_t n = chars_from_index(string, part > 0 ? part : -1, &start);
    SeriesBuffer* s = buffer_of(cell_node(string));
    uint32_t unit = s->unit(), shift = string::unit_shift(unit);
    uint32_t written = 0;
    uint32_t i = 0;
    if (unit == 1) {
        // One byte a character: a run below 0x80 is its own UTF-8, copied
        // at once (found four bytes at a time).
        const uint8_t* from = s->head + start;
        while (i < n && written < room) {
            uint32_t limit = n - i < room - written ? n - i : room - written;
            uint32_t run = 0;
            for (uint32_t w; run + 4 <= limit; run += 4) {
                std::memcpy(&w, from + i + run, 4);
                if (w & 0x80808080u) break;
            }
            while (run < limit && from[i + run] < 0x80) run++;
            std::memcpy(buffer + written, from + i, run);
            written += run;
            i += run;
            if (run == limit) continue;
            written += utf8_encode_char_bounded(from[i], buffer + written, room - written);
            i++;
        }
    }
    if (unit == 2) {
        // While any character's four bytes fit, each is encoded in place.
        const uint8_t* from = s->head + (start << 1);
        for (; i < n && room - written >= 4; i++) {
            uint32_t c = uint32_t(from[i * 2]) | uint32_t(from[i * 2 + 1]) << 8;
            if (c < 0x80) buffer[written++] = uint8_t(c);
            else written += utf8_encode_char(c, buffer + written);
        }
    }
    for (; i < n && written < room; i++)
        written += utf8_encode_char_bounded(string::get_char(s->head + ((start + i) << shift), unit), buffer + written,
                                            room - written);
    // The terminator only where it fits.
    if (nul && written < room) buffer[written] = 0;
    return written;
}

// ---- UTF-16LE -----------------------------------------------------------------------

uint32_t utf16_unit_width(const uint16_t* units, uint32_t n) {
    uint32_t width = 1;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t high = units[i] >> 8;
        if (high >= 0xD8 && high <= 0xDF) return 4;
        if (high) width = 2;
    }
    return width;
}

Node load_utf16(const uint16_t* units, uint32_t n, Cell* target, bool crlf) {
    if (!units && target) units = reinterpret_cast<const uint16_t*>(scratch_buffer(target, memory::checked_mul(n, 2)));
    if (!units) n = 0;
    uint32_t width = utf16_unit_width(units, n);
    if (width == 4) {
        // A high surrogate must be followed by a low one.  Checked before
        // anything is written, so a refused input changes nothing.
        for (uint32_t i = 0; i < n; i++) {
            uint32_t high = units[i] >> 8;
            if (high >= 0xD8 && high <= 0xDB) {
                if (i + 1 >= n || (units[i + 1] >> 8) < 0xDC || (units[i + 1] >> 8) > 0xDF) {
                    Cell arg{TYPE_INTEGER, 0, units[i], 0};
                    raise_error("script", "invalid-data", &arg);
                }
                i++;
            }
        }
    }
    Node node;
    SeriesBuffer* s;
    uint32_t bytes = memory::checked_mul(n ? n : 1, width);
    if (target) {
        node = cell_node(target);
        s = buffer_of(node);
        if (room_from_head(s) < bytes) s = memory::expand_buffer(s, bytes);
        s->flags = (s->flags & ~SERIES_UNIT_MASK) | width;
    } else {
        node = n ? memory::alloc_series(n, width, 0) : memory::alloc_series(1, 2, 0);
        s = buffer_of(node);
    }
    s->flags |= SERIES_FROM_UTF16;
    uint32_t unit = s->unit();
    uint8_t* q = s->head;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t c = units[i];
        if (crlf && c == 0x000D) continue;
        if (width == 4 && (c >> 8) >= 0xD8 && (c >> 8) <= 0xDB) {
            c = 0x10000 + ((c & 0x3FF) << 10 | (units[i + 1] & 0x3FF));
            i++;
        }
        put_unit(q, unit, c);
        q += unit;
    }
    s->tail = q;
    return node;
}

uint32_t utf16_extra_size(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    uint32_t extra = 0;
    for (const uint8_t* p = start; p + unit <= end; p += unit) {
        uint32_t c = string::get_char(p, unit);
        if (c == '\n' || c > 0xFFFF) extra += 2;
    }
    return extra;
}

const uint16_t* to_utf16_part(Cell* string, int32_t* length, bool crlf) {
    uint32_t start;
    uint32_t n = chars_from_index(string, *length, &start);
    SeriesBuffer* s = buffer_of(cell_node(string));
    uint32_t unit = s->unit(), shift = string::unit_shift(unit);
    uint32_t extra = utf16_extra_size(s->head + (start << shift), s->head + ((start + n) << shift), unit);
    uint32_t size = memory::checked_add(memory::checked_add(memory::checked_mul(n, 2), 2), extra);
    uint16_t* out = reinterpret_cast<uint16_t*>(scratch_buffer(string, size));
    s = buffer_of(cell_node(string));
    const uint8_t* p = s->head + (start << shift);
    uint16_t* q = out;
    for (uint32_t i = 0; i < n; i++, p += unit) {
        uint32_t c = string::get_char(p, unit);
        if (crlf && c == '\n') *q++ = 0x000D;
        if (c > 0x10FFFF) return nullptr;
        q += utf16_encode_char(c, q);
    }
    *q = 0;
    *length = int32_t(q - out);
    return out;
}

const uint16_t* to_utf16(Cell* string) {
    int32_t length = -1;
    return to_utf16_part(string, &length, true);
}

void ascii_to_utf16(const char* text, uint16_t* buffer) {
    while (*text) *buffer++ = uint8_t(*text++);
    *buffer = 0;
}

uint32_t utf16_encode_char(uint32_t cp, uint16_t* p) {
    if (cp < 0x10000) {
        p[0] = uint16_t(cp);
        return 1;
    }
    if (cp > 0x10FFFF) return 0;
    uint32_t v = cp - 0x10000;
    p[0] = uint16_t(0xD800 | v >> 10);
    p[1] = uint16_t(0xDC00 | (v & 0x3FF));
    return 2;
}

// ---- Widening -------------------------------------------------------------------------

namespace {

// Grows (keeping the node) to `need` bytes from the head and spreads the
// units from the end backwards, so nothing is overwritten before it is read.
SeriesBuffer* widen(SeriesBuffer* s, uint32_t from, uint32_t to, uint32_t extra) {
    uint32_t used = s->byte_length();
    uint32_t need = memory::checked_add(memory::checked_mul(used / from, to), extra);
    if (room_from_head(s) < need) s = memory::expand_series(s, need);
    uint32_t n = used / from;
    uint8_t* head = s->head;
    for (uint32_t i = n; i-- > 0;) put_unit(head + i * to, to, string::get_char(head + i * from, from));
    s->tail = head + n * to;
    s->flags = (s->flags & ~SERIES_UNIT_MASK) | to;
    return s;
}

}  // namespace

SeriesBuffer* widen_latin1_to_ucs2(SeriesBuffer* buffer) { return widen(buffer, 1, 2, 2); }
SeriesBuffer* widen_latin1_to_ucs4(SeriesBuffer* buffer) { return widen(buffer, 1, 4, 4); }
SeriesBuffer* widen_ucs2_to_ucs4(SeriesBuffer* buffer) { return widen(buffer, 2, 4, 4); }

uint8_t* scratch_buffer(Cell* string, uint32_t n) {
    Node node = reinterpret_cast<Node>(string->data3);
    if (node) {
        SeriesBuffer* s = buffer_of(node);
        if (room_from_head(s) < n) s = memory::expand_buffer(s, n);
        return s->head;
    }
    node = memory::alloc_series(n ? n : 1, 1, 0);
    string->data3 = reinterpret_cast<uint32_t>(node);
    return buffer_of(node)->head;
}

// ---- Windows-1251 ------------------------------------------------------------------------

Node load_cp1251(const uint8_t* bytes, uint32_t length, Cell* target, bool crlf) {
    Node node;
    SeriesBuffer* s;
    uint32_t room = length ? length : 1;
    if (target) {
        node = cell_node(target);
        s = buffer_of(node);
        uint32_t need = memory::checked_mul(room, s->unit());
        if (room_from_head(s) < need) s = memory::expand_buffer(s, need);
    } else {
        node = memory::alloc_series(room, 1, 0);
        s = buffer_of(node);
    }
    gc::NodeRoot keep(&node);
    uint32_t unit = s->unit();
    uint32_t written = 0;
    for (uint32_t i = 0; i < length; i++) {
        uint32_t c = bytes[i] < 0x80 ? bytes[i] : k_cp1251[bytes[i] - 0x80];
        if (crlf && c == '\r') {
            if (i + 1 < length && bytes[i + 1] == '\n') continue;
            c = '\n';
        }
        if (unit == 1 && c > 0xFF) {
            s->tail = s->head + written;
            s = widen_latin1_to_ucs2(s);
            written *= 2;
            unit = 2;
        }
        if (written + unit > room_from_head(s)) {
            s->tail = s->head + written;
            s = grow_loading(s, written + unit, unit == 2 ? length / 4 : length);
        }
        put_unit(s->head + written, unit, c);
        written += unit;
    }
    s = buffer_of(node);
    s->tail = s->head + written;
    return node;
}

}  // namespace qor::unicode
