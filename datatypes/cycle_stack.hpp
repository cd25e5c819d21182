// The cycle-detection stack: the path of nested series (and objects) that a
// walk is inside.  Mold, form, compare, deep copy and ownership walks push a
// node before they descend into its value and pop it afterwards; a node met
// again while it is on the stack is a cycle.
//
// At most 999 levels nest: the push that fills the 1000th entry empties the
// stack and raises internal/too-deep.  That bound is also what keeps these
// recursive walks off the end of the machine stack.  The collector rewrites
// the entries when it moves nodes (forward_nodes runs as a root callback).
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::cycle_stack {

constexpr uint32_t CAPACITY = 1000;

// Empties the stack and registers its collector hook; called at start-up
// after the memory manager (again after every memory::init: the
// collector's root list starts empty).
void init();

// Stores the node at the top; when the stack is then full it is emptied
// and internal/too-deep is raised.
void push(Node node);
void pop();                 // removes the top entry (nothing when empty)
void drop(uint32_t n);      // removes n entries (not below empty)
void reset();               // empties the stack
bool find(Node node);       // linear search
uint32_t depth();           // entries in use

// Rewrites entries whose node frame the collector evacuated.
void forward_nodes();

// The node a value is keyed by: its context node for object kinds, else its
// series node.
Node key_of(const Cell* value);

// Restores the depth found at construction on every exit path, so that a
// throw out of a walk leaves no stale entry behind.
class Guard {
public:
    Guard() : depth_(depth()) {}
    ~Guard() {
        if (depth() > depth_) drop(depth() - depth_);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    uint32_t depth_;
};

}  // namespace qor::cycle_stack
