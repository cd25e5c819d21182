// The garbage collector: stop-the-world mark and compact.
//
// Invariant: when marking ends, every buffer reachable from a root carries
// SERIES_MARK; nothing unmarked is referenced by a live value.  Roots are
//   - the registered global cells and node variables (register_global_*),
//   - the RAII guards of C++ locals (CellRoot, NodeRoot),
//   - the external root callbacks (push_root),
//   - every machine-stack word, scanned conservatively (saved registers
//     included): a word that is a node keeps its buffer alive; a word that
//     points into a buffer keeps it alive and PINS it, so the compaction of
//     this collection leaves it where it is.
// Marking uses an explicit work stack (never the C++ stack), so nesting depth
// of user data is unbounded.  Compaction then slides marked, unpinned buffers
// down their frame or into the free tail of the frame before it, rewriting
// each one's node; dead buffers give their nodes back.  Node frames that have
// stayed sparsely used for six collections are evacuated before marking,
// unless a machine-stack word points into them; references are rewritten
// through the forwarding map while marking.
//
// Collection happens inside allocation only; nothing the collector allocates
// comes from the frames (its tables live on the tracked heap).
#pragma once
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

#include <cstdint>

namespace qor::gc {

struct Counters {
    uint32_t series_cycles;  // + 1 at the end of every collection
    uint32_t nodes_cycles;   // + 1 by every collection that evacuated a node frame
};
extern Counters counters;

// Collector switches.  collection_enabled is off until start-up has finished
// (finish_startup) and while statistics are gathered or the boot payload is
// decoded; node_compaction_enabled is cleared by code that keys tables by
// node address while it builds them.
extern bool collection_enabled;
extern bool node_compaction_enabled;

void collect();                // one full collection
void collect_if_allowed();     // collect() when collection_enabled
bool is_active();              // a collection is running (readable from any thread)

// Start-up is over: collection is enabled, and the stress mode is armed when
// the environment variable QOR_GC_STRESS=N asks for a collection at every
// N-th series allocation.
void finish_startup();
void set_stress_interval(uint32_t n);  // 0 switches stress mode off
uint32_t stress_interval();
void stress_tick();  // called by every series allocation; collects when due

// The machine stack: the scan runs from the current stack pointer up to this
// base (exclusive).  Recorded at start-up from the thread's stack bounds;
// start-up code may set it explicitly.
void  set_stack_base(void* base);
void* stack_base();
// Tests and diagnostics: with the scan off, only the precise roots count, so
// that a test can assert what a collection reclaims without stray stack
// words (which the scan rightly takes for pointers) keeping garbage alive.
// Values held only by C++ locals are then NOT found.
void set_stack_scan(bool on);

namespace detail {
// Compaction: after `length` bytes of whole buffers were moved from `from`
// to `to`, points each one's node, head and tail at its new place.  Reads
// only the new place, so a test can hand it any old address.
void relocate_run(uint8_t* to, const uint8_t* from, uint32_t length);
}  // namespace detail

// ---- Roots ----------------------------------------------------------------

using RootCallback = void (*)();
void push_root(RootCallback callback);    // external root: called in the root phase
void remove_root(RootCallback callback);  // clears the first equal entry

// Permanent roots for runtime globals: a global cell, or a global variable
// holding a node (rewritten in place when its node frame is evacuated).
void register_global_cell(Cell* cell);
void register_global_node(Node* ref);
void unregister_global_cell(Cell* cell);
void unregister_global_node(Node* ref);
// The registered globals, in registration order (for the heap verifier).
uint32_t global_cell_count();
Cell*    global_cell_at(uint32_t i);
uint32_t global_node_count();
Node*    global_node_at(uint32_t i);

// RAII roots for C++ locals (and heap-held cells) across allocation:
//   Cell tmp{};  gc::CellRoot keep(&tmp);            // one cell
//   gc::CellRoot keep(cells, n);                      // a run of cells
//   Node n = ...; gc::NodeRoot keep_n(&n);            // a node variable
// The guarded storage must outlive the guard and must not lie inside a series
// buffer; a null pointer guards nothing.  Guards nest in any order.
struct RootLink {
    RootLink* prev;
    RootLink* next;
    void*     target;
    uint32_t  count;  // cells; 0 for a node reference
};
// The guards' list head (a ring; empty when it points at itself).
extern RootLink root_guards;
// Inline: guards sit on hot paths of the interpreter and the natives.
class CellRoot {
public:
    explicit CellRoot(Cell* cells, uint32_t count = 1)
        : link_{&root_guards, root_guards.next, cells, count ? count : 1} {
        root_guards.next->prev = &link_;
        root_guards.next = &link_;
    }
    ~CellRoot() {
        link_.prev->next = link_.next;
        link_.next->prev = link_.prev;
    }
    CellRoot(const CellRoot&) = delete;
    CellRoot& operator=(const CellRoot&) = delete;
private:
    RootLink link_;
};
class NodeRoot {
public:
    explicit NodeRoot(Node* ref) : link_{&root_guards, root_guards.next, ref, 0} {
        root_guards.next->prev = &link_;
        root_guards.next = &link_;
    }
    ~NodeRoot() {
        link_.prev->next = link_.next;
        link_.next->prev = link_.prev;
    }
    NodeRoot(const NodeRoot&) = delete;
    NodeRoot& operator=(const NodeRoot&) = delete;
private:
    RootLink link_;
};

// Scoped switches (restore the previous setting on every exit path).
class NoCollect {
public:
    NoCollect() : saved_(collection_enabled) { collection_enabled = false; }
    ~NoCollect() { collection_enabled = saved_; }
    NoCollect(const NoCollect&) = delete;
    NoCollect& operator=(const NoCollect&) = delete;
private:
    bool saved_;
};
class NoNodeCompaction {
public:
    NoNodeCompaction() : saved_(node_compaction_enabled) { node_compaction_enabled = false; }
    ~NoNodeCompaction() { node_compaction_enabled = saved_; }
    NoNodeCompaction(const NoNodeCompaction&) = delete;
    NoNodeCompaction& operator=(const NoNodeCompaction&) = delete;
private:
    bool saved_;
};

// ---- Marking (for root callbacks and the mark hooks of other modules) -----

// `ref` is the address of a word holding a node address; the word is
// rewritten when the node was evacuated.  A 0 word is ignored.
bool mark_node(uint32_t* ref);                 // true when newly marked
inline bool mark_node(Node* ref) { return mark_node(reinterpret_cast<uint32_t*>(ref)); }
void unmark_node(uint32_t* ref);
void mark_series_cells(uint32_t* ref);         // the node, then its cells
void mark_block(Cell* block);                  // a block-kind cell
void mark_context(uint32_t* ref);              // a context node
void mark_cells(Cell* first, Cell* end);       // per-type marking of a run of cells
void mark_hashtable(uint32_t* ref);            // a hash-table! node and everything it holds
void drain();                                  // finishes the marking pushed so far
bool is_marked(Node node);                     // during a collection
// The forwarding target of an evacuated node, or the node itself.
Node forwarded(Node node);

// Hook that marks image! cells (the image backend's mark operation).
using CellHook = void (*)(Cell* cell);
void set_image_mark_hook(CellHook hook);

// ---- Phases used by the memory manager ------------------------------------

void defer_node_free(Node node);
void free_deferred_nodes();

// Frame lookup by address: kind 0 node-frame slot areas (frame: NodeFrame*),
// kind 1 series frames past their header and big-buffer blocks (frame:
// SeriesFrame* or BigBlock*).  Valid during a collection.
bool in_frames(uint32_t address, int kind, void** frame);

// Collector state made by memory::init and dropped by memory::release_all.
void init_tables();
void release_tables();

}  // namespace qor::gc
