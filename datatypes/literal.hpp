// What a datatype's literal decoder promises the lexer.
//
// The lexer finds where a token begins and ends and which kind it is; the
// decoder of the token's datatype reads the text in between into a value.
// Each datatype declares its decoder in its own header, beside the rest of
// it, and the lexer's kind table holds one dispatch line per decoder.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::literal {

// What the lexer saw among a token's bytes, so a decoder can skip work (the
// lexer's flag word carries these bits at these places).
enum Seen : uint32_t {
    SEEN_PERCENT  = 0x00040000u,  // %
    SEEN_EXPONENT = 0x01000000u,  // e or E
    SEEN_QUOTE    = 0x02000000u,  // '
    SEEN_DOT      = 0x10000000u,
    SEEN_CARET    = 0x20000000u,  // ^
    SEEN_LEAD2    = 0x40000000u,  // a UTF-8 lead byte 0xC2-0xEF
    SEEN_LEAD4    = 0x80000000u,  // a UTF-8 lead byte 0xF0-0xF7
};

// A literal decoder reads the token text [start, end): from its first byte
// up to its closing delimiter, which is left out ("abc for "abc", #{00 for
// #{00}).  It answers 0 and sets *out, or answers the datatype whose
// "invalid" error the token raises.  Without `make` only the header of a
// value that would allocate is set; values held in the cell are always
// made whole.  Malformed text raises nothing; a decoder that allocates may
// collect only before its value exists.
using Decoder = uint32_t (*)(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make,
                             Cell* out);

}  // namespace qor::literal
