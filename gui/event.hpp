// event!: the events the backend hands to system/view/awake, and those that
// scripts make with `make event!`.
//
//   header TYPE_EVENT, with EVENT_MADE on a made event
//   word 1  the event type code (gui/event_loop.hpp)
//   word 2  native event: the address of its message record;
//           made event: the node of a block [face window offset picked]
//   word 3  bits 0-21 the key or an event-specific integer, bits 22-31 flags
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::gui::event {

constexpr uint32_t EVENT_MADE = 0x1000;   // the collector's EVENT_HAS_BLOCK

void init();   // registers event!

// The word of a type code (1..38), null outside; the code of a word, 0 when none.
const char* type_name(uint32_t code);
uint32_t    type_code(const Cell* word);

// Field numbers 1..15 by word, 0 when none.
int32_t field_number(const Cell* word);
// A field's value (number 1..15) pushed on the argument stack.
Cell* push_field(const Cell* event, int32_t field);

// For the event routines: whether a facet holds the flag word.
bool find_flag(const Cell* facet, const Cell* flag);

}  // namespace qor::gui::event
