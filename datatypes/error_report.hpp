// The report of an error that nothing caught, beside the error printer.
#pragma once
#include "runtime/cell.hpp"

namespace qor::error {

// The report of an error that nothing caught: the caption is the `title` of
// system/script when the caption reader gives a string, else
// "Qor NoName App"; the error is formed without limit and shown in a message
// box (standard error when it is a file or a pipe); the process ends with
// status -2.  The outermost catch site of start-up calls it.
[[noreturn]] void report_uncaught(const Cell* error);
using CaptionReader = const Cell* (*)();
void set_caption_reader(CaptionReader reader);

}  // namespace qor::error
