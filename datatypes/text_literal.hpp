// The text of string-like literals: strict UTF-8, "^" escapes and, in file
// and url names, "%XX" escapes, read into a string-family value.  Shared by
// the literal decoders of string!, file!, url!, ref!, char! and the words.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::text_literal {

// One strict UTF-8 character at p (before end); answers its length, 0 when
// invalid.
uint32_t utf8_char(const uint8_t* p, const uint8_t* end, uint32_t* cp);

// One character of text at p (before end): a "^" escape when `escapes` is
// set, else one UTF-8 character.  Answers the bytes consumed, 0 when the
// text is malformed there.
uint32_t decode_char(const uint8_t* p, const uint8_t* end, bool escapes, uint32_t* cp);

// Which escapes a text decodes (each only where the lexer saw its sign).
enum Mode : uint32_t { ESCAPES = 1, PERCENT = 2 };

// The characters of [start, end), escapes decoded per `mode` and `seen`
// (literal::Seen), as a value of the string-family `type` in *out (with
// `make`; else only checked).  Answers 0, or `type` when malformed.
uint32_t decode(const uint8_t* start, const uint8_t* end, uint32_t seen, uint32_t mode, uint32_t type,
                bool make, Cell* out);

// Whether [start, end) is valid UTF-8 ("^" escapes allowed with `escapes`).
bool valid(const uint8_t* start, const uint8_t* end, bool escapes);

}  // namespace qor::text_literal
