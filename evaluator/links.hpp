// The evaluator's entries of the hook table that the layers below call up
// through (datatypes/eval_links.hpp).
#pragma once

namespace qor::interp {

// Fills the interpreter's entries: the raise hook that records `where` and
// the stack position, evaluating a block, calling function values, the
// running call and position, and the frame walks.  The interpreter's init
// calls it after stack::init; the lexer fills its own entries in lexer::init.
void install_links();

}  // namespace qor::interp
