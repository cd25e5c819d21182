// The argument stack that datatype code uses is the interpreter's own
// (evaluator/stack.hpp); this header stays for the code that includes it.
#pragma once
#include "datatypes/stack.hpp"
