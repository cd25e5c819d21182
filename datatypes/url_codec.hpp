// Percent encoding of text (%XX escapes), behind url! molding and the
// enhex and dehex natives.
//
// Two sets decide which ASCII bytes stay as they are; every other byte (and
// every byte from 128 up) becomes "%" and two upper-case hexadecimal digits:
//   strict set (selector 254)  letters, digits, - . _ ~
//   URL set (any other)        letters, digits, ! # $ & ' ( ) * + , - . / : = ? @ _ ~
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::url {

constexpr uint32_t STRICT_SET = 254;
constexpr uint32_t URL_SET = 255;

// True when the byte stays as it is under the selector's set.
bool plain_byte(uint32_t selector, uint8_t byte);

// Appends the percent-encoded UTF-8 of the text (from its index) to the
// target string.  May allocate; both cells must be reachable.
void encode_percent(const Cell* text, Cell* target, uint32_t selector);

// True when `p` (with `available` bytes) holds "%" and two hexadecimal
// digits; the byte they give goes to *byte.
bool decode_escape(const uint8_t* p, uint32_t available, uint8_t* byte);

// Appends the decoded text (from the source's index) to the target string:
// escapes of a UTF-8 sequence give its one character, an escape of any other
// byte gives that byte's code point, and anything that is not a valid
// escape is kept as it stands.
void decode_percent(const Cell* text, Cell* target);
// A new string! sized for the source's remaining length, holding its decoded
// text.
Cell decode_to_string(const Cell* text);

// The literal decoder (literal.hpp): scheme:rest.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace qor::url
