// The runtime's own writer to the standard output.
//
// On a Windows console, text is converted to UTF-16 and written with the
// console API, and ANSI escape sequences in it (colours, cursor movement,
// erasing) are carried out on the console instead of being printed.  To a
// file or a pipe (and always on POSIX) text is written as UTF-8 with CR LF
// line ends, escapes unchanged.  Every write is also handed to the text
// hooks as UTF-8 with LF line ends.
//
// Text comes in units of 1 (Latin-1), 2 (UCS-2) or 4 (UCS-4) bytes; unit 0
// means UTF-8 bytes.  Lengths are in bytes; a trailing partial unit is
// ignored.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::console {

// Start-up: finds out whether the standard output is a console and, when it
// is, keeps its attributes as the defaults.
void init();
void save_attributes();
bool is_console();

void write(const void* text, size_t bytes, int unit, bool line_end);
void write_console(const void* text, size_t bytes, int unit, bool line_end);
void write_file(const void* text, size_t bytes, int unit, bool line_end);
void write_ucs4(const void* text, size_t bytes);
void write_ucs4_line(const void* text, size_t bytes);   // LF on a console, CR LF otherwise
void write_ucs2(const void* text, size_t bytes);
void write_ucs2_line(const void* text, size_t bytes);
void write_latin1(const void* text, size_t bytes);
void write_latin1_line(const void* text, size_t bytes);
void write_bytes(const char* utf8, size_t bytes);        // UTF-8 written unchanged to a file

const char* print_cstring(const char* s);   // UTF-8, NUL-terminated
int32_t  print_integer(int32_t n);          // "%i"
uint8_t  print_hex_byte(uint8_t n);         // "%02X"
uint32_t print_hex(uint32_t n);             // "%08X"
double   print_float64(double d);           // "%.16g"
float    print_float32(float f);            // "%.7g"

// --- The screen that escape sequences drive -------------------------------

struct ScreenInfo {
    int32_t  width, height;        // buffer size in cells
    int32_t  cursor_x, cursor_y;   // 0-based
    uint16_t attributes;
    int32_t  left, top, right, bottom;   // window corners
    int32_t  max_width, max_height;      // largest window
};

// What the escape interpreter needs of a console.  The Win32 side supplies
// the real console's; tests supply a model.
struct ScreenOps {
    bool (*info)(ScreenInfo* out);
    void (*write)(const char16_t* units, size_t count);
    void (*set_cursor)(int32_t x, int32_t y);
    void (*set_attributes)(uint16_t attributes);
    // Fills `count` cells from (x, y) onward, row by row, with spaces in the
    // given attributes.
    void (*fill)(int32_t x, int32_t y, uint32_t count, uint16_t attributes);
};

// Uses `ops` as the console from now on (null: no console), as init does
// with the real one; the attributes it reports become the defaults.
void use_screen(const ScreenOps* ops);

// The real console behind the standard output, or null (always null on POSIX).
const ScreenOps* system_screen();

// --- Escape sequences --------------------------------------------------------

enum class EscapeOp : uint8_t {
    SGR,              // a: parameter
    CURSOR_UP,        // a: rows
    CURSOR_DOWN,      // a: rows
    CURSOR_RIGHT,     // a: columns
    CURSOR_LEFT,      // a: columns
    ERASE,            // a: kind 0-5
    SAVE_CURSOR,
    RESTORE_CURSOR,
    MOVE_TO,          // a: row, b: column
    SCREEN_INFO,
};

struct EscapeAction {
    EscapeOp op;
    uint32_t a, b;
    bool operator==(const EscapeAction&) const = default;
};

using EscapeSink = void (*)(void* context, const EscapeAction& action);

// Reads the escape sequence at `text` (which holds an ESC), `avail` units
// long at most, and hands each action it finds to the sink.  Answers the
// units consumed, its final character included; 0 when ESC is not followed
// by "[".  A sequence cut by the end of the text is consumed to the end.
size_t parse_escape(const void* text, size_t avail, int unit, EscapeSink sink, void* context);

// Interprets the escape sequence at `text` on the current console; answers
// the units consumed (0: not a sequence, print the ESC).
size_t ansi_escape(const void* text, size_t avail, int unit);

// New attributes after one SGR parameter (current -1: read them first).
uint16_t sgr_attributes(int32_t current, uint32_t parameter);
// The same over explicit defaults, for tests.
uint16_t sgr_apply(uint16_t current, uint16_t defaults, uint32_t parameter);

// Erases per kind 0-5 with the default attributes.
void erase(int kind);

struct EraseRange {
    int32_t  x, y;
    uint32_t count;
    bool     move_cursor;
    int32_t  cursor_x, cursor_y;
};
EraseRange erase_range(int kind, const ScreenInfo& info);

}  // namespace qor::console

namespace qor::chars {

// Terminal columns of a code point: 0, 1 or 2.
int  display_width(uint32_t cp);
// The same, with East Asian ambiguous characters taken as wide.
int  display_width_cjk(uint32_t cp);

struct Range {
    uint32_t first, last;
};
bool in_ranges(uint32_t cp, const Range* ranges, size_t count);

}  // namespace qor::chars
