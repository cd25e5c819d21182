// Growable arrays: plain arrays of bytes or 32-bit words kept in a series
// buffer, so that the collector moves and reclaims them like any value.  The
// node is the array's identity; the unit is the element width (1 or 4).
// Positions are 1-based, offsets are bytes from the head.
//
// Positions beyond the array are not element accesses: picks answer 0,
// pokes and removals outside the array do nothing.
#pragma once
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

#include <cstdint>

namespace qor::array {

Node     make(uint32_t count, uint32_t width);  // room for count x width bytes
uint32_t length(Node node);                     // elements
void     clear(Node node);
void     set_tail(Node node, uint32_t position);  // keeps position - 1 elements
Node     copy(Node node);
uint32_t flags(Node node);

void    append_byte(Node node, uint8_t byte);
uint8_t pick_byte(Node node, uint32_t position);
void    append_bytes(Node node, const void* source, uint32_t n);
void    append_int32(Node node, int32_t value);
// The same for an array whose node is held in a slot (for instance a word of
// a hash-table record): the slot is read again after the append.
void    append_int32_node(uint32_t* node_slot, int32_t value);
void    insert_int32(Node node, int32_t value, uint32_t index);  // 0-based index
int32_t find_int32(Node node, int32_t value);       // byte offset, or -1
int32_t find_pointer(Node node, const void* pointer);
int32_t pick_int32(Node node, uint32_t position);
int32_t pick(Node node, uint32_t position);
void    poke(Node node, uint32_t position, int32_t value);
void    remove_bytes(Node node, uint32_t offset, uint32_t n);
void    remove_pointer(Node node, const void* pointer);

}  // namespace qor::array
