// The parse engine's rule matching: one rule value (a character, a text, a
// bitset, a datatype, a typeset, a literal word or path, any other value)
// against the input at one position.  The engine (parse.cpp) walks the rule
// blocks and keeps the stacks; what a single value matches is decided here.
#pragma once
#include <cstdint>
#include <cstring>

#include "runtime/cell.hpp"

namespace qor::parse {

// One input level of the engine: the series matched, one per `into`.
struct Level {
    Cell     series;   // the input series (its index is not used)
    uint32_t limit;    // the /part end, or NO_INDEX
    uint32_t shift;    // log2 of the unit
    bool     text;     // a text kind (or binary): characters are matched
    bool     bytes;    // binary: items are integers
};

// What a match reads: the level, the end of its input (its tail or /part
// end, whichever comes first) and the comparison (0 equal, text without
// regard to case; 2 strict).
struct Subject {
    const Level& level;
    uint32_t     end;
    int32_t      op;
};

// The character at index i of a buffer of 1, 2 or 4 bytes a unit.
inline uint32_t unit_char(const uint8_t* head, uint32_t shift, uint32_t i) {
    const uint8_t* p = head + (i << shift);
    switch (shift) {
    case 0: return *p;
    case 1: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    default: {
        uint32_t c;
        std::memcpy(&c, p, 4);
        return c;
    }
    }
}

inline uint32_t shift_of_unit(uint32_t unit) {
    return unit >= 16 ? 4 : unit >= 8 ? 3 : unit >= 4 ? 2 : unit >= 2 ? 1 : 0;
}

// Raises script/parse-rule naming the rule.
[[noreturn]] void raise_rule(const Cell* rule);

// Matches a rule value that consumes nothing or one item (or, for text, a
// run of characters) at `at`; on a match *next is the position after it.
// Raises for rules the input kind does not support.
bool match_simple(const Subject& in, const Cell* rule, uint32_t at, uint32_t* next);

// quote: the value itself, never a rule.
bool match_literal(const Subject& in, const Cell* value, uint32_t at, uint32_t* next);

}  // namespace qor::parse
