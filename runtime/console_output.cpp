#include "runtime/console_output.hpp"

#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace qor::console {

static const ScreenOps* screen = nullptr;   // null: the output is a file or a pipe
static uint16_t default_attributes = 0x07;
static int32_t saved_x = 0, saved_y = 0;

void init() { use_screen(system_screen()); }

void use_screen(const ScreenOps* ops) {
    screen = ops;
    save_attributes();
}

void save_attributes() {
    ScreenInfo info;
    if (screen && screen->info(&info)) default_attributes = info.attributes;
}

bool is_console() { return screen != nullptr; }

// --- Reading text of any unit ---------------------------------------------

static size_t unit_size(int unit) { return unit == 0 ? 1 : size_t(unit); }

static bool valid_unit(int unit) { return unit == 0 || unit == 1 || unit == 2 || unit == 4; }

// The unit at index i, read without alignment assumptions.
static uint32_t unit_at(const unsigned char* p, size_t i, int unit) {
    switch (unit) {
        case 2: {
            uint16_t u;
            std::memcpy(&u, p + 2 * i, 2);
            return u;
        }
        case 4: {
            uint32_t u;
            std::memcpy(&u, p + 4 * i, 4);
            return u;
        }
        default:
            return p[i];
    }
}

// The character at unit index i of n; *used receives the units it took.
// UTF-8 (unit 0) is decoded; other units are one character each.
static uint32_t char_at(const unsigned char* p, size_t i, size_t n, int unit, size_t* used) {
    if (unit == 0) return raw_utf::decode_utf8(p + i, n - i, used);
    *used = 1;
    return unit_at(p, i, unit);
}

// --- Text hooks ------------------------------------------------------------

// Hands the text to the text hooks as UTF-8 with LF line ends.
static void fire_hooks(const unsigned char* p, size_t n, int unit, bool line_end, const char* eol) {
    if (!output_hooks::has_text_hooks()) return;
    if (unit == 0) {
        if (n) output_hooks::fire(p, int32_t(n), 0);
    } else {
        char buf[256];
        size_t pos = 0;
        for (size_t i = 0; i < n;) {
            size_t used;
            uint32_t cp = char_at(p, i, n, unit, &used);
            i += used;
            pos += raw_utf::encode_utf8(cp, buf + pos);
            if (pos > sizeof buf - 4) {
                output_hooks::fire(buf, int32_t(pos), 0);
                pos = 0;
            }
        }
        if (pos) output_hooks::fire(buf, int32_t(pos), 0);
    }
    if (line_end) output_hooks::fire(eol, 1, 0);
}

// --- To a file or a pipe ---------------------------------------------------

static void write_file_raw(const unsigned char* p, size_t n, int unit, bool line_end) {
    if (unit == 0) {
        // UTF-8 bytes go out as they are.
        platform::write_std(platform::STD_OUT, p, n);
        if (line_end) platform::write_std(platform::STD_OUT, "\r\n", 2);
        return;
    }
    char buf[1024];
    size_t pos = 0;
    for (size_t i = 0; i < n; ++i) {
        if (pos > 1020) {
            platform::write_std(platform::STD_OUT, buf, pos);
            pos = 0;
        }
        // Lone surrogates of UCS-2 text and values above U+10FFFF become U+FFFD.
        pos += raw_utf::encode_utf8(unit_at(p, i, unit), buf + pos);
    }
    if (line_end) {
        if (pos > 1020) {
            platform::write_std(platform::STD_OUT, buf, pos);
            pos = 0;
        }
        buf[pos++] = '\r';
        buf[pos++] = '\n';
    }
    if (pos) platform::write_std(platform::STD_OUT, buf, pos);
}

void write_file(const void* text, size_t bytes, int unit, bool line_end) {
    if (!valid_unit(unit)) return;
    auto p = static_cast<const unsigned char*>(text);
    size_t n = bytes / unit_size(unit);
    write_file_raw(p, n, unit, line_end);
    fire_hooks(p, n, unit, line_end, "\n");
}

// --- To the console --------------------------------------------------------

namespace {
// UTF-16 output collected for the console, written every 510 units.
struct WideBuffer {
    char16_t units[512];
    size_t pos = 0;

    void flush() {
        if (pos && screen) screen->write(units, pos);
        pos = 0;
    }
    void put(uint32_t cp) {
        pos += raw_utf::encode_utf16(cp, units + pos);
        if (pos >= 510) flush();
    }
};
}  // namespace

static void write_console_raw(const unsigned char* p, size_t n, int unit, bool escapes,
                              const char* eol) {
    WideBuffer out;
    for (size_t i = 0; i < n;) {
        size_t used;
        uint32_t cp = char_at(p, i, n, unit, &used);
        if (cp == 27 && escapes) {
            out.flush();
            size_t consumed = ansi_escape(p + i * unit_size(unit), n - i, unit);
            if (consumed) {
                i += consumed;
                continue;
            }
        }
        i += used;
        // UCS-2 units go out as they are, surrogates included; UCS-4 and
        // UTF-8 characters become one unit or a surrogate pair.
        if (unit == 2) {
            out.units[out.pos++] = char16_t(cp);
            if (out.pos >= 510) out.flush();
        } else {
            out.put(cp);
        }
    }
    for (const char* e = eol; *e; ++e) out.put(uint8_t(*e));
    out.flush();
}

void write_console(const void* text, size_t bytes, int unit, bool line_end) {
    if (!valid_unit(unit)) return;
    auto p = static_cast<const unsigned char*>(text);
    size_t n = bytes / unit_size(unit);
    write_console_raw(p, n, unit, true, line_end ? "\r\n" : "");
    fire_hooks(p, n, unit, line_end, "\n");
}

void write(const void* text, size_t bytes, int unit, bool line_end) {
    if (screen) write_console(text, bytes, unit, line_end);
    else write_file(text, bytes, unit, line_end);
}

static void ucs4(const void* text, size_t bytes, bool line_end) {
    if (!screen) {
        write_file(text, bytes, 4, line_end);
        return;
    }
    auto p = static_cast<const unsigned char*>(text);
    size_t n = bytes / 4;
    write_console_raw(p, n, 4, false, line_end ? "\n" : "");
    fire_hooks(p, n, 4, line_end, "\n");
}

void write_ucs4(const void* text, size_t bytes) { ucs4(text, bytes, false); }
void write_ucs4_line(const void* text, size_t bytes) { ucs4(text, bytes, true); }
void write_ucs2(const void* text, size_t bytes) { write(text, bytes, 2, false); }
void write_ucs2_line(const void* text, size_t bytes) { write(text, bytes, 2, true); }
void write_latin1(const void* text, size_t bytes) { write(text, bytes, 1, false); }
void write_latin1_line(const void* text, size_t bytes) { write(text, bytes, 1, true); }
void write_bytes(const char* utf8, size_t bytes) { write(utf8, bytes, 0, false); }

const char* print_cstring(const char* s) {
    if (s) write_bytes(s, std::strlen(s));
    return s;
}

static void print_formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void print_formatted(const char* format, ...) {
    char buf[64];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n > 0) write_bytes(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}

int32_t print_integer(int32_t n) {
    print_formatted("%i", n);
    return n;
}
uint8_t print_hex_byte(uint8_t n) {
    print_formatted("%02X", unsigned(n));
    return n;
}
uint32_t print_hex(uint32_t n) {
    print_formatted("%08X", unsigned(n));
    return n;
}
double print_float64(double d) {
    print_formatted("%.16g", d);
    return d;
}
float print_float32(float f) {
    print_formatted("%.7g", double(f));
    return f;
}

// --- Escape sequences --------------------------------------------------------

size_t parse_escape(const void* text, size_t avail, int unit, EscapeSink sink, void* context) {
    auto p = static_cast<const unsigned char*>(text);
    if (avail < 2 || unit_at(p, 1, unit) != '[') return 0;
    auto emit = [&](EscapeOp op, uint32_t a = 0, uint32_t b = 0) { sink(context, EscapeAction{op, a, b}); };
    int state = 1;
    uint32_t P = 0, Q = 0;
    size_t i = 2;
    while (i < avail) {
        uint32_t c = unit_at(p, i++, unit);
        bool digit = c >= '0' && c <= '9';
        switch (state) {
            case 1:
                if (digit) {
                    P = c - '0';
                    state = 2;
                    continue;
                }
                switch (c) {
                    case ';': continue;
                    case 's': emit(EscapeOp::SAVE_CURSOR); break;
                    case 'u': emit(EscapeOp::RESTORE_CURSOR); break;
                    case 'K': emit(EscapeOp::ERASE, 4); break;
                    case 'J': emit(EscapeOp::ERASE, 0); break;
                    case 'H':
                    case 'f': emit(EscapeOp::MOVE_TO, 0, 0); break;
                    case '?': emit(EscapeOp::SCREEN_INFO); break;
                    default: break;
                }
                return i;
            case 2:
                if (digit) {
                    P = (P * 10 + (c - '0')) % 65535u;
                    continue;
                }
                switch (c) {
                    case ';': state = 3; continue;
                    case 'm': emit(EscapeOp::SGR, P); break;
                    case 'A': emit(EscapeOp::CURSOR_UP, P); break;
                    case 'B': emit(EscapeOp::CURSOR_DOWN, P); break;
                    case 'C': emit(EscapeOp::CURSOR_RIGHT, P); break;
                    case 'D': emit(EscapeOp::CURSOR_LEFT, P); break;
                    case 'J':
                        if (P == 1) emit(EscapeOp::ERASE, 1);
                        else if (P == 2) emit(EscapeOp::ERASE, 2);
                        break;
                    case 'K':
                        if (P == 1) emit(EscapeOp::ERASE, 5);
                        else if (P == 2) emit(EscapeOp::ERASE, 3);
                        break;
                    default: break;
                }
                return i;
            case 3:
                if (digit) {
                    Q = c - '0';
                    state = 4;
                    continue;
                }
                if (c == ';') continue;
                return i;
            default:   // 4
                if (digit) {
                    Q = (Q * 10 + (c - '0')) % 65535u;
                    continue;
                }
                switch (c) {
                    case 'm':
                        emit(EscapeOp::SGR, P);
                        emit(EscapeOp::SGR, Q);
                        break;
                    case ';':
                        emit(EscapeOp::SGR, P);
                        emit(EscapeOp::SGR, Q);
                        P = Q = 0;
                        state = 1;
                        continue;
                    case 'H':
                    case 'f': emit(EscapeOp::MOVE_TO, P, Q); break;
                    default: break;
                }
                return i;
        }
    }
    return i;   // cut by the end of the text: swallowed
}

// ORDER ANSI-COLOUR: ANSI colour index -> console colour bits (B=1, G=2, R=4).
static const uint8_t console_colour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

uint16_t sgr_apply(uint16_t cur, uint16_t defaults, uint32_t p) {
    if (p == 0) return defaults;
    if (p == 1) return uint16_t(cur | 0x88);
    if (p == 4) return uint16_t(cur | 0x8000);
    if (p == 7) return uint16_t((cur & 0xFF00) | (cur & 0x0F) << 4 | (cur & 0xF0) >> 4);
    if (p >= 30 && p <= 37) return uint16_t((cur & 0xF8) + console_colour[p - 30]);
    if (p == 39) return uint16_t(cur | 0x08);
    if (p >= 40 && p <= 47) return uint16_t((cur & 0x8F) + 16 * console_colour[p - 40]);
    if (p == 49) return uint16_t(cur | 0x80);
    return cur;
}

uint16_t sgr_attributes(int32_t current, uint32_t parameter) {
    if (current == -1) {
        ScreenInfo info;
        current = screen && screen->info(&info) ? info.attributes : default_attributes;
    }
    return sgr_apply(uint16_t(current), default_attributes, parameter);
}

EraseRange erase_range(int kind, const ScreenInfo& s) {
    int32_t w = s.width > 0 ? s.width : 0, h = s.height > 0 ? s.height : 0;
    int32_t x = s.cursor_x < 0 ? 0 : s.cursor_x > w ? w : s.cursor_x;
    int32_t y = s.cursor_y < 0 ? 0 : s.cursor_y > h ? h : s.cursor_y;
    uint32_t W = uint32_t(w);
    switch (kind) {
        case 0: return {0, y, uint32_t(h - y) * W, false, 0, 0};
        case 1: return {0, 0, uint32_t(y) * W, false, 0, 0};
        case 2: return {0, 0, uint32_t(h) * W, true, 0, 0};
        case 3: return {0, y, W, true, 0, y};
        case 4: return {x, y, uint32_t(w - x), false, 0, 0};
        case 5: return {0, y, x < w ? uint32_t(x + 1) : W, true, 0, y};   // the cursor's cell included
        default: return {0, 0, 0, false, 0, 0};
    }
}

static void print_screen_info(const ScreenInfo& s) {
    using namespace system_print;
    const TypedRecord title[] = {string("Screen buffer info:")};
    const TypedRecord size[] = {string("   size______ "), integer(s.width), string("x"), integer(s.height)};
    const TypedRecord cursor[] = {string("   cursor____ "), integer(s.cursor_x), string("x"),
                                  integer(s.cursor_y)};
    const TypedRecord attribute[] = {string("   attribute_ "), integer(s.attributes)};
    const TypedRecord left[] = {string("   left______ "), integer(s.left), string(" top: "), integer(s.top)};
    const TypedRecord right[] = {string("   right_____ "), integer(s.right), string(" bottom: "),
                                 integer(s.bottom)};
    const TypedRecord max[] = {string("   max_______ "), integer(s.max_width), string("x"),
                               integer(s.max_height)};
    print_line(1, title);
    print_line(4, size);
    print_line(4, cursor);
    print_line(2, attribute);
    print_line(4, left);
    print_line(4, right);
    print_line(4, max);
}

static void clamp_cursor(int32_t x, int32_t y, const ScreenInfo& s) {
    if (x > s.width - 1) x = s.width - 1;
    if (y > s.height - 1) y = s.height - 1;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    screen->set_cursor(x, y);
}

static void apply(void*, const EscapeAction& action) {
    ScreenInfo s;
    if (!screen || !screen->info(&s)) return;
    int32_t a = int32_t(action.a);
    switch (action.op) {
        case EscapeOp::SGR: screen->set_attributes(sgr_apply(s.attributes, default_attributes, action.a)); break;
        case EscapeOp::CURSOR_UP: clamp_cursor(s.cursor_x, s.cursor_y - a, s); break;
        case EscapeOp::CURSOR_DOWN: clamp_cursor(s.cursor_x, s.cursor_y + a, s); break;
        case EscapeOp::CURSOR_RIGHT: clamp_cursor(s.cursor_x + a, s.cursor_y, s); break;
        case EscapeOp::CURSOR_LEFT: clamp_cursor(s.cursor_x - a, s.cursor_y, s); break;
        case EscapeOp::ERASE: {
            EraseRange r = erase_range(a, s);
            if (r.count) screen->fill(r.x, r.y, r.count, default_attributes);
            if (r.move_cursor) screen->set_cursor(r.cursor_x, r.cursor_y);
            break;
        }
        case EscapeOp::SAVE_CURSOR:
            saved_x = s.cursor_x;
            saved_y = s.cursor_y;
            break;
        case EscapeOp::RESTORE_CURSOR: screen->set_cursor(saved_x, saved_y); break;
        // Row and column are used as given; a console refuses a position
        // outside its buffer.
        case EscapeOp::MOVE_TO: screen->set_cursor(int32_t(action.b), a); break;
        case EscapeOp::SCREEN_INFO: print_screen_info(s); break;
    }
}

size_t ansi_escape(const void* text, size_t avail, int unit) {
    if (!screen) return 0;
    return parse_escape(text, avail, unit, apply, nullptr);
}

void erase(int kind) { apply(nullptr, EscapeAction{EscapeOp::ERASE, uint32_t(kind), 0}); }

}  // namespace qor::console
