// hash!: a block whose every cell is also entered in a hash index, so that
// find and select do not walk the cells.
//
//   header  TYPE_HASH (parent block!)
//   word 1  index in cells; word 2 node of the cells' buffer (as block!)
//   word 3  node of its hash table (kind 0, datatypes/hash_table.hpp)
//
// The index describes every cell between the buffer's head and tail.  The
// block and series actions keep it in step as they edit (hash_index.hpp);
// this module builds it whole: make, to, copy, and mold with its
// "make hash! " prefix.
#pragma once
#include "runtime/cell.hpp"

namespace qor::hash {

void init();   // registers hash! (after block!)

}  // namespace qor::hash
