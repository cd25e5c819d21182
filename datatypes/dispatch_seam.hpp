// The evaluator's dispatch entries that datatype code calls (the action of
// a value's type, the typed dispatchers, comparison, calling a function
// value) are evaluator/actions.hpp and evaluator/call.hpp; this header stays
// for the code that includes it.  The lexer's block conversion of text
// (lexer::transcode) is evaluator/lexer.hpp.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "datatypes/registry.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/lexer.hpp"
