// tag!, email! and ref!: three text types that keep string!'s storage and
// actions and differ in their written forms.
//
//   tag!    <b> holds "b"; forms and molds with its angle brackets
//   email!  user@host; molds as its plain text; /user and /host by path
//   ref!    @name holds "name"; molds with its "@", forms without
//
// Each init registers its type after string! (registry order).
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::tag {
void init();   // registers tag!
// The literal decoder (literal.hpp): from the "<" up to the closing ">".
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);
}  // namespace qor::tag

namespace qor::email {
void init();   // registers email!
// The literal decoder (literal.hpp): the whole user@host token.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);
}  // namespace qor::email

namespace qor::ref {
void init();   // registers ref!
// The literal decoder (literal.hpp): from the "@" to the token's end.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);
}  // namespace qor::ref
