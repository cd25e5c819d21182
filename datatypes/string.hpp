// String storage: fixed-width characters that widen on demand.
//
//   string! cell  word 1 index in characters (signed), word 2 node of the
//                 buffer, word 3 extra (0 for plain strings; the node of the
//                 value's conversion scratch buffer, see runtime/unicode.hpp)
//   buffer        a series buffer whose unit (flags bits 0-4) is 1 (Latin-1),
//                 2 (UCS-2, little-endian) or 4 (UCS-4)
//
// Units only grow: a character that does not fit widens the whole buffer in
// place (the node stays, so every value sharing the buffer stays valid); only
// reset_empty puts a buffer back to unit 1.  Appending widens a unit-1
// buffer at code points above 127, positional writes above 255, so text built
// by appending stays unit 1 only while it is pure ASCII.
//
// Every writer may grow, widen or move the buffer: raw addresses taken before
// a write are stale after it; take the buffer again from the node.  The cells
// passed in must be reachable by the collector (a C++ local or a rooted cell).
//
// The same functions serve the whole text family (string!, file!, url!,
// tag!, email!, ref!) and the byte series that share the buffer code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor {

// Internal cell kind that points at string text like a string value; its
// extra word, when not negative, is how many characters take part in a
// comparison (compare_strings honours it for its second operand).
constexpr uint32_t TYPE_STRING_SLICE = 56;

// The text types: string!, file!, url!, tag!, email!, ref!.
inline bool is_text_type(uint32_t t) { return is_any_string(t); }

namespace string {

uint32_t fold_char_slow(uint32_t c);   // case_::map_char(c, true)

// ---- Units -----------------------------------------------------------------

// log2 of a string unit (0, 1, 2); any other unit is an internal fault that
// ends the process (runtime error 101).
uint32_t unit_shift(uint32_t unit);
inline SeriesBuffer* buffer(const Cell* value) { return buffer_of(cell_node(value)); }
inline int32_t index_of(const Cell* value) { return int32_t(value->data1); }
inline void set_index(Cell* value, int32_t index) { value->data1 = uint32_t(index); }

// ---- Character access --------------------------------------------------------

uint32_t get_char(const uint8_t* p, uint32_t unit);      // by unit: byte, LE 16-bit, 32-bit
uint32_t char_at(const Cell* value, uint32_t offset);    // offset in units from the buffer head
uint8_t* index_pointer(Cell* value);                     // clamps the index to the tail first
bool     at_tail_q(const Cell* value);
uint32_t remaining_length(Cell* value);                  // from the index; clamps a past-tail index
uint32_t length_from_head(Cell* value);
bool     skip_by(Cell* value, int32_t n);                // answers whether at the tail afterwards
bool     skip_one(Cell* value);
uint8_t* tail_pointer(const Cell* value);
int32_t  find_char_offset(const Cell* value, uint32_t cp);       // from the index; -1 absent
bool     contains_char_q(const Cell* value, uint32_t cp, uint32_t record, bool exact);
bool     starts_with_c_string_q(const Cell* value, const char* text);
bool     char_in_bitset_q(const Cell* value, const Cell* bitset);
bool     code_point_in_bitset_q(uint32_t cp, const Cell* bitset);
bool     tag_delimited_at_q(const Cell* value, const Cell* tag);
bool     match_at_q(const Cell* value, const Cell* pattern, int32_t op);

// ---- Writing characters ------------------------------------------------------
// Each answers the buffer as it stands afterwards (possibly moved or widened).

SeriesBuffer* append_char(Cell* value, uint32_t cp);
SeriesBuffer* write_char_at(Cell* value, uint32_t position, uint32_t cp);
SeriesBuffer* insert_char_at(Cell* value, uint32_t position, uint32_t cp);
// Stores at a unit position that lies inside the used part of the buffer.
SeriesBuffer* poke_char(Node node, uint32_t position, uint32_t cp);

void remove_units(Cell* value, uint32_t position, uint32_t n);
void remove_char_at(Cell* value, uint32_t position);
void truncate_tail(Cell* value, uint32_t n);
void reset_empty(Cell* value);
// Moves n characters from the source's index to a unit position of the target.
void move_chars(Cell* source, Cell* target, uint32_t position, uint32_t n);
SeriesBuffer* widen_to(Node node, uint32_t unit);
// Copies units [start, start + n) of `source` into `target` (or a new
// buffer when target is null) at unit `unit` (2 or 4), widening each one;
// with set_tail the target's tail and unit are set.  Answers the target node.
Node copy_widened(Node source, uint32_t start, uint32_t n, Node target, uint32_t unit, bool set_tail);
// Exchanges the adjacent byte ranges [p, p + a) and [p + a, p + a + b)
// through a 64 KB scratch buffer on the tracked heap (made by
// init_rotate_scratch, which string! registration calls).
void rotate_ranges(uint8_t* p, uint32_t a, uint32_t b);
void init_rotate_scratch();
// Room for `extra` more units at the tail (growing to twice the need).
SeriesBuffer* reserve(Node node, uint32_t extra);

// ---- Construction and loading -----------------------------------------------

void init_cell(Cell* cell, uint32_t capacity);                       // empty string!, unit 1
void init_cell_sized(Cell* cell, uint32_t unit, uint32_t capacity);
Cell* push_cell(const Cell* value);

// The builder API that other types use for their text.
Cell make(uint32_t capacity = 0);                                    // an empty string!
// Text made or appended whole (from_utf8, from_latin1, append_utf8) keeps
// unit 1 up to U+00FF, as loaded text does; invalid UTF-8 raises
// access/invalid-utf8.
Cell from_utf8(const char* text, size_t length = SIZE_MAX);         // SIZE_MAX: up to the NUL
Cell from_latin1(const char* text, size_t length = SIZE_MAX);       // one code point per byte
void append_c_string(Cell* value, const char* text);                 // each byte one code point
void append_bytes(Cell* value, const uint8_t* bytes, uint32_t n);
void append_ascii(Cell* value, const char* text, size_t length = SIZE_MAX);
void append_utf8(Cell* value, const char* text, size_t length = SIZE_MAX);
void append_string(Cell* target, const Cell* source);               // from the source's index
uint32_t length(const Cell* value);                                  // characters from the index
std::string to_utf8(const Cell* value);                              // from the index
std::u32string to_code_points(const Cell* value);                    // from the index

// Loads text in an encoding (0 UTF-8, -1 UTF-16LE) into `cell` (or a new
// cell pushed on the argument stack when null) as a string! at index 0.
Cell* load_encoded(const void* address, uint32_t length, Cell* cell, int32_t encoding);
Cell* load(const void* address, uint32_t length, int32_t encoding);
Cell* load_into_block(const void* address, uint32_t length, Cell* block, int32_t encoding);
double bytes_to_float(const uint8_t* start, uint32_t length);

const char* byte_to_hex(uint8_t b);            // 2 characters, static buffer
const char* int_to_hex(int32_t n, bool trim);  // NUL-terminated, static buffer
// Decodes a binary!'s bytes from its index; access/invalid-utf8 on bad input.
void from_utf8_binary(const Cell* binary, Cell* result);

// ---- Concatenation and comparison ---------------------------------------------

enum ConcatMode : int32_t { CONCAT_APPEND = 0, CONCAT_INSERT = 1, CONCAT_OVERWRITE = 2 };
// Copies the source's characters (at most `limit` when limit >= 0) into the
// target: appended, inserted at index + offset, or written over it.
void concatenate(Cell* target, const Cell* source, int32_t limit, int32_t offset, bool keep_source,
                 int32_t mode);
void overwrite_range(Cell* target, const Cell* source, int32_t limit, int32_t offset, bool keep_source);
// -1, 0 or 1 (0: equal, or matching in prefix mode) under an op code.
int32_t compare_strings(const Cell* a, const Cell* b, int32_t op, bool prefix);

// Folding for comparisons and searches without regard to case: the upper
// case of a code point, as case_::map_char gives it.  `fold_table` answers
// the 256 entries for Latin-1, so hot loops fold those with one load.
const uint32_t* fold_table();
inline uint32_t fold_char(const uint32_t* table, uint32_t c) {
    return c < 256 ? table[c] : fold_char_slow(c);
}

// ---- Text forms ------------------------------------------------------------------

// Appends the mold form of one character (escapes as in string and char
// molds); `quote_form` escapes the double quote.
void append_escaped_char(Cell* out, uint32_t cp, bool all, bool quote_form);
bool braces_balanced_q(const Cell* value, uint32_t from, uint32_t end);

// The literal decoder (literal.hpp): "text" up to its closing quote.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace string

// ---- Case ------------------------------------------------------------------------

namespace case_ {
// Changes the case of a char! or of a string value from its index in place
// (`part` 0: no /part; else the distance in cells to the /part argument).
Cell* change(Cell* value, int32_t part, bool upper);
// The same with the /part argument given directly (null: none).
Cell* change_part(Cell* value, const Cell* part_arg, bool upper);
}  // namespace case_

}  // namespace qor
