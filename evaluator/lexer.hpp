// The lexer: UTF-8 source text to values.
//
// A table-driven automaton (evaluator/lexer_tables.hpp) cuts the input into
// tokens; each token kind has a scanner (structure: brackets, braces,
// paths, comments, commas) and/or a loader (values) (evaluator/loaders.cpp);
// a loader finds where its token ends and hands the text to the literal
// decoder of the token's datatype (datatypes/literal.hpp).
// Values are built on the lexer's own value stack, where open containers are
// marker cells, so nesting depth never deepens the C++ stack; at the end the
// values become a block.
//
// Every entry may allocate and, when a trace callback is given, evaluate:
// cells passed in must be reachable by the collector.  Syntax errors are
// raised as syntax/invalid, syntax/missing, syntax/malconstruct and
// syntax/bad-char with the position text "(line N)" and the text near the
// error.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::lexer {

// Trace events (one bit each in a callback's event mask).  ORDER LEX-EVENTS
enum Event : uint32_t {
    EVENT_PRESCAN = 1, EVENT_SCAN = 2, EVENT_LOAD = 4, EVENT_OPEN = 8, EVENT_CLOSE = 16,
    EVENT_ERROR = 32, EVENT_ALL = 63,
};

// Start-up: the value stack (1000 cells), the conversion buffer (100,000
// bytes), the scanner and loader tables; registers the collector's marking
// of active runs and fills the loader hooks of the datatypes
// (number_hooks::load_value_from_string, the block conversion from text).
// Calling it again resets the lexer (tests).
void init();
bool ready();

// The words that name the token kinds without a datatype (given to trace
// callbacks as `type`): a block of 36 words, one per kind, in kind order.
// Until it is set the lexer's own names are used.
void set_exit_states(const Cell* block);

struct ScanRequest {
    const uint8_t* input = nullptr;  // UTF-8; need not be NUL-terminated
    uint32_t       size = 0;         // bytes
    bool           one_value = false;
    bool           prescan = false;  // guess the first token's type, load nothing
    bool           scan = false;     // recognise tokens, load nothing
    bool           wrap = false;     // one-value mode still answers a block
    const Cell*    trace = nullptr;  // function! or routine!, or null
    const Cell*    source = nullptr; // the series given to the callback (string! or binary!)
    uint32_t       source_index = 0; // the source's index where `input` starts
    Cell*          into = nullptr;   // output block to append to, or null for a new one
    int32_t        first_line = 1;
    uint32_t       max_bytes = 0xFFFFFFFFu;  // transcode_string: UTF-8 bytes scanned at most
    bool           ascii = false;    // every input byte is a character of the string source
};

struct ScanResult {
    uint32_t type = 0;      // datatype id of the last token (0: none)
    uint32_t consumed = 0;  // bytes consumed (characters for string sources)
    bool     stopped = false;  // a callback stopped the run quietly
};

// The lexer's one entry: scans `request.input` and leaves in `out` a block
// of the values (appended to request.into when given), or in one-value mode
// (without wrap) the first value (unset when there was none); in prescan and
// scan mode nothing is loaded and `out` is left unchanged.  May allocate,
// may evaluate (trace callback).
ScanResult scan(const ScanRequest& request, Cell* out);

// The same over a string! value's characters from its index (all of them,
// or `count` when >= 0), converted to UTF-8 first; the consumed length is
// counted in characters.
ScanResult transcode_string(const Cell* string, int32_t count, ScanRequest request, Cell* out);

// The front end of the native `transcode` (its refinements as arguments).
// `source` is a string! or binary!; `part` an integer! (a byte count) or a
// binary! position in the same buffer, or null; `into` a block! or null;
// `trace` a function!/routine! or null.  A string source is converted to
// UTF-8 first: an integer /part counts bytes of that text, a position in
// the same string counts characters.  Answers, in `result`:
//   plain: the block of values (into: the given block, values appended);
//   next:  a block [value source-after-it];
//   one:   the first value (unset when there is none);
//   scan, prescan: the recognised (guessed) datatype of the first token, or
//          none for empty input; with next, a block [type source-after].
// Raises script/not-same-type for a /part binary of another buffer.
struct TranscodeOptions {
    bool        next = false;
    bool        one = false;
    bool        prescan = false;
    bool        scan = false;
    const Cell* part = nullptr;
    Cell*       into = nullptr;
    const Cell* trace = nullptr;
    int32_t     line = 1;  // the number of the first line
};
void transcode(const Cell* source, const TranscodeOptions& options, Cell* result);

// Loads the text of a string value (from its index) into `block`, appended
// (a new block is made in it when it is not a block): the block conversion
// of strings (to block! "...").  May allocate.
void transcode(const Cell* string, Cell* block);

// One value loaded from a text value from its index: the global none cell
// when the text is not consumed whole, `destination` set to unset and
// answered when it held no value, else the block's first value (valid until
// the next allocation).  `destination` receives the block of values.
Cell* load_value_from_string_into(const Cell* text, Cell* destination);
// The same with the lexer's own scratch cell as the destination.
Cell* load_value_from_string(Cell* text);

// Collector: marks the cells and series held by every active run.
void mark_gc();

// The datatype id of the token that starts the UTF-8 text (the word kinds
// told apart: set-word!, get-word!, lit-word!, refinement!), or 0 when the
// text is empty or does not start with a valid token.  Word conversions
// reach it through the hook table.
uint32_t scan_token_type(const char* utf8, uint32_t length);

// Value-stack size in cells (for tests of growth).
uint32_t value_stack_capacity();

// Bytes walked so far by the runs' byte-to-character position caches (trace
// events over string input), a measure of that work for tests.
uint64_t position_steps();

}  // namespace qor::lexer
