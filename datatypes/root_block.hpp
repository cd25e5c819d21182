// The root block: a block with a non-moving buffer whose cells hold values
// that belong to the runtime as a whole (scratch blocks, and the words that
// the boot payload's definitions record while it is bound).  It is a
// collector root from the moment it is made.
//
// The boot collection flag is set by start-up while the boot payload is
// decoded: the word makers then also record each new word as a cell at the
// root block's tail and hand out that copy, so the payload's tables can
// point at cells that stay put.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::root_block {

constexpr uint32_t ROOM = 8192;  // cells; growing past it moves the buffer

// Makes the root block (empty, room for `room` cells) and registers it with
// the collector.  Calling it again starts a new, empty one (tests).
void make(uint32_t room = ROOM);
bool exists();
Node node();
uint32_t length();
Cell* cell_at(uint32_t i);  // not checked; valid until the next allocation

// A copy of the value in a new cell at the tail; answers that cell (valid
// until the next allocation).  The value may lie in any buffer.
Cell* append(const Cell* value);

// The boot collection flag.
bool collecting();
void set_collecting(bool on);

}  // namespace qor::root_block
