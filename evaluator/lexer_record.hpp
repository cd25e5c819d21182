// The state of one lexer run and the services its scanners and loaders
// use: the value stack with its container markers, raising syntax errors,
// and trace events.  Internal to the lexer (lexer.cpp, loaders.cpp).
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/lexer_tables.hpp"

namespace qor::lexer {

constexpr uint32_t NO_MARKER = 0xFFFFFFFFu;

// An open container on the value stack.  Marker cell layout (type triple!,
// which no loaded value has):
//   header  TYPE_TRIPLE, FLAG_NEW_LINE when the opening began a line
//   word 1  index of the previous marker + 1 (0: none in this run)
//   word 2  container type in the low 16 bits; a point under construction
//           holds point2D! plus 65536 per comma beyond the first
//   word 3  byte offset of the opening character in the input
constexpr uint32_t MARKER_TYPE = TYPE_TRIPLE;

// One active run, on the machine stack, chained to the run it is nested in.
struct Record {
    Record*        link = nullptr;      // the run this one is nested in
    uint32_t       base = 0;            // value-stack index of this run's first cell
    uint32_t       head = NO_MARKER;    // index of the innermost open marker
    uint32_t       top = 0;             // next free value-stack index
    const uint8_t* input_start = nullptr;
    const uint8_t* input_end = nullptr;
    const uint8_t* position = nullptr;
    const uint8_t* token_start = nullptr;
    const uint8_t* token_end = nullptr;
    int32_t        line = 1;
    int32_t        lines_in_token = 0;
    int32_t        type_override = -1;  // set by loaders that build another type
    uint32_t       token_type = 0;
    uint8_t        entry_state = 0;
    uint8_t        previous_state = 0;
    uint32_t       last_type = 0;
    const uint8_t* brace_start = nullptr;  // the outer { of an open brace string
    int32_t        brace_depth = 0;
    uint32_t       brace_flags = 0;
    bool           brace_new_line = false;   // the outer { began a line
    bool           new_line = false;       // the token began on a new line
    bool           load_values = true;
    // Trace callback.
    bool           has_callback = false;
    Cell           callback{};
    uint32_t       event_mask = 0;
    Cell           source{};               // the input series handed to the callback
    uint32_t       source_index = 0;
    bool           string_source = false;  // positions count characters
    bool           ascii_input = false;    // ... one a byte
    const uint8_t* cache_position = nullptr;  // byte position -> characters cache
    uint32_t       cache_chars = 0;
    const uint8_t* resume = nullptr;       // set when an error callback moved the input
    uint32_t       word_cache_run = 0;     // this run's mark in the word cache (0: unused)
};

// The records of the active runs, innermost first.
Record* active();

// ---- Value stack ------------------------------------------------------------------------------

Cell* stack_cell(uint32_t index);  // valid until the next push
// Pushes a copy of the value (marked as beginning a line when the token
// did); answers the new top cell.  Never collects.
Cell* push(Record& r, const Cell& value);
void  pop(Record& r);
inline uint32_t marker_type(const Cell* m) { return m->data2 & 0xFFFFu; }

// The word of the global context spelled by [name, end): interned and
// bound once per spelling and run, later tokens reuse the cell.
Cell interned_word(Record& r, const uint8_t* name, const uint8_t* end);

// Container services of the structure scanners.
void open_container(Record& r, uint32_t type, const uint8_t* opening);
// Replaces the innermost marker by its value of `type` (a block kind, or
// none while values are not loaded) and makes the enclosing state current.
void close_container(Record& r, uint32_t type);

// ---- Errors ----------------------------------------------------------------------------------

enum : int32_t { ERR_BAD_CHAR = -1, ERR_MALCONSTRUCT = -2, ERR_MISSING = -3 };
// Raises the syntax error for the text at [start, end): `type` a datatype id
// (invalid), ERR_BAD_CHAR, ERR_MALCONSTRUCT, or ERR_MISSING with the
// expected character.  With a trace callback the error event comes first
// and may stop the run quietly instead (throws Stop).
[[noreturn]] void throw_error(Record& r, const uint8_t* start, const uint8_t* end, int32_t type,
                              char missing = 0);

// Thrown to end a run quietly (a callback answered no to an error), or to
// go on after the bad token when the callback also moved the input.
struct Stop {};
struct Resume {};

// ---- Trace events ----------------------------------------------------------------------------

inline bool wants(const Record& r, uint32_t event) { return r.has_callback && (r.event_mask & event); }
// Sends an event; answers the callback's answer (true without a callback
// or when the event is not wanted).  `type` is a datatype id, or -1 - kind
// for a kind named by its exit-state word, or 0 for none.  `value` is the
// loaded value for load events, else null (the token's positions are sent).
bool call_back(Record& r, uint32_t event, int32_t type, const uint8_t* start, const uint8_t* end,
               const Cell* value, bool input_at_start);
inline bool send_event(Record& r, uint32_t event, int32_t type, const uint8_t* start, const uint8_t* end,
                       const Cell* value = nullptr, bool input_at_start = false) {
    return !wants(r, event) || call_back(r, event, type, start, end, value, input_at_start);
}

// ---- Loaders ---------------------------------------------------------------------------------

// A scanner or loader of one token kind: the record, the token's text, its
// flag word and the load flag; it leaves the record's position after the
// token.
using TokenFn = void (*)(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load);

struct KindEntry {
    TokenFn scanner;  // structure, or validation before a value loads
    TokenFn loader;   // pushes the value
};
extern const KindEntry KIND_TABLE[KIND_COUNT];

// Whether the "(" at `paren` starts a point literal.
bool starts_point_literal(const Record& r, const uint8_t* paren);

// The word that names a kind without a datatype (trace callbacks).
void kind_word(uint32_t kind, Cell* out);

}  // namespace qor::lexer
