// The interpreter's loop for untraced evaluation (see eval_loop.cpp).
#pragma once

#include "runtime/cell.hpp"

namespace qor::interp {

// run_block for an interpreted block while nothing traces: the same frames,
// results, positions and exits, without C++ recursion for the calls,
// parens and branches it runs.  May return with an exit pending.
void run_block_loop(const Cell* block, bool result_mode);

// Registers the loop's records with the collector (interp::init): the code,
// words, functions and contexts they copy are marked from them, and their
// node references follow nodes the collector moves.
void register_loop_roots();

}  // namespace qor::interp
