// Ownership marking: an object can own the series held in its fields,
// deeply, so that modifying such a series in place tells the object (its
// on-deep-change* function) which field leads to it.
//
// The owner table maps the node of an owned series (or the context node of
// an object) to {the owned value, the owner object, the field word}.  It
// lives on the tracked heap and is weak: the collector drops an entry whose
// key or owner object died and marks the cells of the others.  The owned bit
// SERIES_OWNED sits on the series buffer; image! values carry
// CELL_OWNED_IMAGE in their cell header instead (they are keyed by their
// backend handle); an object that owns its series has CONTEXT_OWNER in its
// context record's header.
//
// The walks use an explicit work stack and a visited set, so self-containing
// and deeply nested values are walked once each, without recursion.
#pragma once
#include "runtime/cell.hpp"

#include <cstdint>

namespace qor::owner {

enum : uint32_t {
    CELL_OWNED_IMAGE = 0x00010000u,  // image! cell header
    CONTEXT_OWNER    = 0x00010000u,  // context record header
};

void init_table();  // an empty table (again, when called twice)
void release();     // drops the table
bool table_exists();

void attach(const Cell* value, const Cell* owner, const Cell* word);
void attach_object(const Cell* value, const Cell* owner, const Cell* word);  // also flags the owner
void detach(const Cell* value);
void detach_range(const Cell* block, uint32_t index, uint32_t count);
// The owner object recorded for a node (series node or context node), or null.
const Cell* get(Node node);
// Tells the owner of `changed` about a change; true when an owner with
// change-notification information was found.
bool notify(const Cell* changed, const Cell* action, const Cell* new_value, int32_t index, int32_t part);

// The owner's on-deep-change* call (objects install it).
using DeepChangeHook = void (*)(const Cell* owner, const Cell* word, const Cell* target, const Cell* action,
                                const Cell* new_value, int32_t index, int32_t part);
void set_deep_change_hook(DeepChangeHook hook);

// Collector phase after marking: drops dead entries, re-keys evacuated
// nodes, and marks the cells of the surviving entries.
void gc_sweep();
uint32_t entry_count();

}  // namespace qor::owner
