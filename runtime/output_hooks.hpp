// Output hooks and the runtime's low-level printer.
//
// Everything the system prints reaches the user through two lists of
// callbacks, so that a front end (the GUI console) can capture output
// without the printers knowing it: value hooks receive what `print` and
// `prin` form; text hooks receive every piece of text that the runtime's own
// printers write to the standard output (as UTF-8, unit 0, line ends as LF).
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::output_hooks {

using ValueHook = void (*)(const Cell* string, bool new_line);
using TextHook = void (*)(const void* text, int32_t length, int32_t unit);

// Both lists live on the tracked heap; they start with room for 5 and grow
// by 5.  `init` empties them; `add` before `init` initialises them first.
void init();
void add(ValueHook value_hook, TextHook text_hook);      // either may be null
void remove(ValueHook value_hook, TextHook text_hook);   // first occurrence of each
void fire_value(const Cell* string, bool new_line);      // in registration order
void fire(const void* text, int32_t length, int32_t unit);
bool has_text_hooks();

// Drops both lists without freeing them: the tracked heap is about to be
// freed as a whole.  Hooks added later start new lists.
void forget();

// For statistics and tests.
struct ListInfo {
    int32_t count;
    int32_t capacity;
};
ListInfo value_list();
ListInfo text_list();

}  // namespace qor::output_hooks

namespace qor::system_print {

// One argument of the low-level printer: {tag, value, pad}.
struct TypedRecord {
    uint32_t tag;
    uint32_t value;
    uint32_t pad;
};
static_assert(sizeof(TypedRecord) == 12);

enum : uint32_t {
    TAG_LOGIC = 1,
    TAG_INTEGER = 2,
    TAG_CHAR = 3,
    TAG_FLOAT32 = 4,
    TAG_FLOAT64 = 5,   // the 8 bytes of value and pad
    TAG_STRING = 6,    // value: address of a NUL-terminated string
    // any other tag prints the value word as 8 hexadecimal digits
};

TypedRecord logic(bool b);
TypedRecord integer(int32_t i);
TypedRecord character(char c);
TypedRecord float32(float f);
TypedRecord float64(double d);
TypedRecord string(const char* s);
TypedRecord hex(uint32_t word);

// Prints the records in order; with `spaced`, a single space between two
// records unless the text just printed ends in a space, LF, CR or tab.
// Flushes the standard output at the end.
void print_records(int32_t count, const TypedRecord* records, bool spaced);
void prin(int32_t count, const TypedRecord* records);         // not spaced
void print_line(int32_t count, const TypedRecord* records);   // not spaced, then a line feed

const char* print_cstring(const char* s, int32_t max_length);   // until NUL or max bytes
uint8_t     print_byte(uint8_t byte);
void        print_char_form(uint8_t byte);   // as a character literal: #"^/"

}  // namespace qor::system_print

namespace qor {

// The runtime's build stamp.
const char* build_stamp();

}  // namespace qor
