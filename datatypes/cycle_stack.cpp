// The cycle-detection stack.
#include "datatypes/cycle_stack.hpp"

#include "datatypes/raise_seam.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"

namespace qor::cycle_stack {

namespace {

// Plain static storage: the stack must exist before and after any heap
// reset, and a walk must never fail to get it.
Node entries[CAPACITY];
uint32_t top = 0;

void forward_hook() { forward_nodes(); }

}  // namespace

void init() {
    top = 0;
    // The collector's root list starts empty after every memory::init.
    gc::remove_root(forward_hook);
    gc::push_root(forward_hook);
}

void push(Node node) {
    entries[top++] = node;
    if (top >= CAPACITY) {
        top = 0;
        raise_error("internal", "too-deep");
    }
}

void pop() {
    if (top > 0) top--;
}

void drop(uint32_t n) { top = n >= top ? 0 : top - n; }

void reset() { top = 0; }

bool find(Node node) {
    for (uint32_t i = 0; i < top; i++)
        if (entries[i] == node) return true;
    return false;
}

uint32_t depth() { return top; }

void forward_nodes() {
    for (uint32_t i = 0; i < top; i++) entries[i] = gc::forwarded(entries[i]);
}

Node key_of(const Cell* value) {
    uint32_t t = type_of(value);
    if (t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_PORT) return reinterpret_cast<Node>(value->data1);
    return cell_node(value);
}

}  // namespace qor::cycle_stack
