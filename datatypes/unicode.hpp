// Unicode conversion between string values and the outside world.
//
// Inside the runtime a string holds fixed-width characters (unit 1, 2 or 4
// bytes, datatypes/string.hpp); source text, files, symbol spellings and
// process output are UTF-8, and every wide platform call is UTF-16LE.  These
// routines decode and encode those forms, size them, and widen a string
// buffer in place when a character does not fit.
//
// Conversions out of a value write into that value's scratch buffer: a byte
// series whose node the value keeps in its cell's word 3, made on first use
// and grown, never shrunk.  A second conversion of the same value overwrites
// the first result, and the result is valid only until the next allocation
// (the collector may move the scratch buffer).
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor::unicode {

// ---- UTF-8 in ----------------------------------------------------------------

// Decodes one character with the table-driven automaton.  *cp receives the
// code point, or -1 for an invalid sequence (overlong, surrogate, beyond
// U+10FFFF, stray continuation byte); the answer is the address after what
// was consumed (an invalid lead byte alone, or a lead with the bad byte that
// ended it).  The input must end with a byte that is not a continuation
// byte (a NUL), which stops a sequence cut by the end.
const uint8_t* utf8_decode_char(const uint8_t* p, int32_t* cp);
// Characters in [start, end): each invalid sequence counts as one.
uint32_t utf8_count_chars(const uint8_t* start, const uint8_t* end);
const uint8_t* utf8_skip_chars(const uint8_t* p, const uint8_t* end, uint32_t n);
uint32_t utf8_lead_length(uint8_t b);  // 4, 3, 2 or 0
// Strict decoding: *available is the bytes that may be read; on return it
// holds the sequence length.  Answers the code point, or -1 when the bytes
// end inside the character.  Invalid input raises access/invalid-utf8.
int32_t utf8_decode_char_strict(const uint8_t* p, int32_t* available);

// Loads UTF-8 bytes into a string buffer: into `target` (its old content is
// replaced) or a new buffer when target is null.  A leading byte-order mark
// is skipped; with `crlf`, CR LF and a lone CR become LF.  When the input
// ends inside a character, *remaining (if given) receives the unconsumed
// byte count.  Answers the string's node.
Node load_utf8(const uint8_t* bytes, uint32_t length, Node target, uint32_t* remaining, bool crlf);
void load_utf8_into(const uint8_t* bytes, uint32_t length, Cell* string);
Node load_utf8_new(const uint8_t* bytes, uint32_t length);

// ---- UTF-8 out ---------------------------------------------------------------

uint32_t utf8_char_size(uint32_t cp);  // 1-4; script/invalid-char above U+10FFFF
uint32_t utf8_size_of_range(const uint8_t* start, const uint8_t* end, uint32_t unit);
uint32_t utf8_encode_char(uint32_t cp, uint8_t* p);
uint32_t utf8_encode_char_bounded(uint32_t cp, uint8_t* p, uint32_t room);

// NUL-terminated UTF-8 of the string from its index in the value's scratch
// buffer.  *length: -1 (or >= the string's length) for the whole rest, else
// the characters; on return the byte count without the NUL.  The `lines`
// form writes CR before each LF when `crlf` is set.
const char* to_utf8(Cell* string, int32_t* length);
const char* to_utf8_lines(Cell* string, int32_t* length, bool crlf);
// Into a caller-sized buffer; length -1 for the whole rest.
uint32_t to_utf8_into(const Cell* string, uint8_t* buffer, int32_t length, bool nul);
// Into at most `room` bytes, never cutting a character; a part > 0 smaller
// than the string's length limits the characters.
uint32_t to_utf8_bounded(const Cell* string, uint8_t* buffer, uint32_t room, int32_t part, bool nul);

// ---- UTF-16LE ------------------------------------------------------------------

uint32_t utf16_unit_width(const uint16_t* units, uint32_t n);  // 1, 2 or 4
// Loads n UTF-16LE units (from the target's scratch buffer when `units` is
// null) into `target` (or a new buffer), at the narrowest unit that holds
// them.  With `crlf` every CR is dropped.  A high surrogate not followed by
// a low one raises access/invalid-utf16.  Answers the node.
Node load_utf16(const uint16_t* units, uint32_t n, Cell* target, bool crlf);
// The whole string from its index, LF written as CR LF, NUL-terminated, in
// the scratch buffer.  Null when a character lies beyond U+10FFFF.
const uint16_t* to_utf16(Cell* string);
// *length: characters (-1 for all); on return the units written.
const uint16_t* to_utf16_part(Cell* string, int32_t* length, bool crlf);
uint32_t utf16_extra_size(const uint8_t* start, const uint8_t* end, uint32_t unit);
void ascii_to_utf16(const char* text, uint16_t* buffer);
uint32_t utf16_encode_char(uint32_t cp, uint16_t* p);  // 1 or 2; 0 above U+10FFFF

// ---- Widening and scratch ------------------------------------------------------

SeriesBuffer* widen_latin1_to_ucs2(SeriesBuffer* buffer);
SeriesBuffer* widen_latin1_to_ucs4(SeriesBuffer* buffer);
SeriesBuffer* widen_ucs2_to_ucs4(SeriesBuffer* buffer);
uint8_t* scratch_buffer(Cell* string, uint32_t n);

// Windows-1251 bytes into `target` (or a new string); answers the node.
Node load_cp1251(const uint8_t* bytes, uint32_t length, Cell* target, bool crlf);

// Series flag set on buffers filled from UTF-16.
constexpr uint32_t SERIES_FROM_UTF16 = 0x00040000u;

}  // namespace qor::unicode
