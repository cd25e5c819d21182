// The parse dialect engine: matches an input series (a block kind or a text
// kind) against a block of grammar rules and runs the actions embedded in
// them.
//
// The engine is an explicit state machine over its own two stacks (rule
// frames and input levels, tracked-heap arrays that the collector marks), so
// nesting of rules costs no machine stack; either stack passing its limit
// raises script/parse-stack.  It is re-entrant: a paren may call parse
// again, which works above the outer run's entries and leaves them alone.
// Every exit path (errors included) gives the run's entries back.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::parse {

// Registers the engine's collector root (again after a restart of the
// memory manager).  The engine calls it itself when needed.
void init();

// Runs the rules over the input from its index.
//   op        the comparison: 0 equal (text without regard to case), 2 strict
//   end       the end position (an index of the input), or -1 for its tail
//   callback  a trace callback function, or null
// The result (logic!, or the block of a top-level collect) goes to `result`.
// Answers 0, or the code of a break, continue, return or exit that a paren
// made ready below the caller (the argument stack is then cut back already:
// the caller passes the code on without touching it).
uint32_t run(const Cell* input, const Cell* rules, int32_t op, int64_t end, const Cell* callback,
             Cell* result);

// The frame limit: a rule stack holding more than this many cells (two per
// frame) raises script/parse-stack.
constexpr uint32_t STACK_LIMIT_CELLS = 10000;

}  // namespace qor::parse
