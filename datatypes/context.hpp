// Contexts: symbols mapped to value slots, and the binding of words to them.
//
// A context is a block of exactly two cells, known by its node:
//   cell 0  the context record (type context!, no user-visible value has it)
//           header  TYPE_CONTEXT | flags below | kind << 11
//           word 1  node of the word index, a kind-2 hash table whose keys
//                   block is the word list: one word! cell per slot, in slot
//                   order, each {this context, symbol, slot}
//           word 2  node of the value block (one cell per slot, same order);
//                   for a context whose values live on the argument stack,
//                   the address of the running call's first value, 0 when no
//                   call is running
//           word 3  0
//   cell 1  the self value: the object! (error!, port!) or function! that
//           owns the context; unset until the owner stores itself there
//
// Kinds: 0 the global context, 1 function, routine, native and action specs,
// 2 objects.  Slot indexes are 0-based; -1 in a word cell means "no slot".
// A word cell carries its context's node and its slot, so reading or writing
// a bound word is one indexed access; symbols are looked up only to bind.
// Lookups go through the word index by canonical symbol id, so case
// variants share a probe sequence and case-blind lookups fold no text.
//
// The global context (4000 slots, kind 0) holds every word that no object or
// function owns; every word made from text binds there.  Adding a case
// variant of a spelling to it gives the variant a word cell of its own that
// shares the earlier spelling's slot; the value block still grows by one.
//
// GC: contexts are addressed by node, which stays valid while the context is
// reachable.  Functions that may allocate say so; a Cell* they answer points
// into a buffer and is valid until the next allocation.  A word or value
// passed in is copied before anything is allocated.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor {

// Context record header flags (0x00010000, an object that owns its series,
// is owner::CONTEXT_OWNER of runtime/ownership.hpp).
constexpr uint32_t CONTEXT_VALUES_ON_STACK = 0x00400000u;
constexpr uint32_t CONTEXT_HAS_SELF        = 0x01000000u;
constexpr uint32_t CONTEXT_KIND_SHIFT      = 11;
constexpr uint32_t CONTEXT_KIND_MASK       = 3u << CONTEXT_KIND_SHIFT;

namespace context {

enum Kind : uint32_t { KIND_GLOBAL = 0, KIND_FUNCTION = 1, KIND_OBJECT = 2 };

constexpr uint32_t GLOBAL_SLOTS = 4000;

// Registers context! (no actions).
void init();

// Start-up, after the symbol table: the global context, registered with
// the collector.  Calling it again makes a new, empty one (tests).
void make_global();
Node global();  // 0 before make_global

// ---- The record ------------------------------------------------------------------
// None of these allocate.

inline Cell* record(Node ctx) { return cells_head(buffer_of(ctx)); }
Cell* self_cell(Node ctx);
uint32_t kind_of(Node ctx);
bool values_on_stack(Node ctx);
Node index_node(Node ctx);
Node values_node(Node ctx);            // 0 for a stack context
uint32_t word_count(Node ctx);         // length of the word list
// The evaluator switches a stack context between its running call's values
// and 0 (no call running).
// (Inline: every function call makes both.)
inline Cell* stack_values(Node ctx) { return reinterpret_cast<Cell*>(record(ctx)->data2); }
inline void set_stack_values(Node ctx, Cell* first) { record(ctx)->data2 = reinterpret_cast<uint32_t>(first); }
// The context whose record is `record` (cell 0 of a context block).
Node node_of_record(const Cell* record);

// ---- Making -------------------------------------------------------------------------

// A new context for n slots (0 counts as 1).  A stack context gets no value
// block; any other an empty one with room for n cells that read unset!.  The
// index is new and empty, or, with `source` given, a copy of that context's
// index and word list (its word cells still name `source`).  Allocates.
Node make_node(int32_t slots, bool on_stack, bool self, Node source, uint32_t kind);
// A context for a function spec: one slot per word!, get-word!, lit-word! and
// refinement! from the spec's index to its tail, in order (other cells are
// ignored; a repeated name, matched without regard to case, keeps its first
// slot).  A context with a value block has its tail set after as many unset
// cells as such words were met.  Allocates.
Node make_from_spec(const Cell* spec, bool on_stack, bool self, uint32_t kind);
// Gives an object (object!, error!, port!) a fresh context of the given kind
// with a copy of its word list (same stack and self flags), rebinds the
// copied word cells to it, and gives it an empty value block whose room reads
// unset!.  Stores the node in the object cell and answers it.  Allocates.
Node copy_for_object(Cell* object, uint32_t kind);

// ---- Lookup and adding ------------------------------------------------------------

// The slot of the symbol, or -1.  With `nocase` symbols match by canonical
// id, else by exact id.  Never allocates.
int32_t find_symbol(Node ctx, int32_t symbol, bool nocase);
// The existing slot; or, when absent, appends a word cell for the symbol
// bound to this context, writes its slot to *out and answers -1.  The value
// block is not touched.  Allocates.
int32_t find_or_add_symbol(Node ctx, int32_t symbol, bool nocase, int32_t* out);
// The slot of the word's symbol (case-insensitive), added when absent; a
// context with a value block then gets one more unset value.  Allocates.
int32_t bind_or_add_word(Node ctx, const Cell* word);
// Stores a copy of the value in the slot of the word's symbol
// (case-insensitive), adding the slot with its value when absent.  Allocates.
void find_or_append(Node ctx, const Cell* word, const Cell* value);
// When the symbol is absent: adds it with a copy of the value and answers
// the new value cell; when present: changes nothing and answers null.
Cell* add_field_if_new(Node ctx, const Cell* word, const Cell* value);
// Adds every set-word! from the block's index to its tail
// (bind_or_add_word); answers whether the word list grew.  Allocates.
bool collect_set_words(Node ctx, const Cell* block);

// ---- The global context -------------------------------------------------------------

// The global word cell of the symbol (looked up by canonical id with
// `nocase`), added with an unset value when absent.  A new case variant of a
// spelling shares the earlier spelling's slot.  With `nocase` and `spelling`
// both set, a word found under another spelling is copied to a new cell at
// the root block's tail with the symbol asked for, and that copy is
// answered.  Allocates.
Cell* global_find_or_add(int32_t symbol, bool nocase, bool spelling);
// global_find_or_add with exact matching; while the boot collection flag is
// set the word is also copied to the root block's tail and the copy
// answered.  Allocates.
Cell* make_global_word(int32_t symbol);
// Stores a copy of the value as the symbol's global value (exact match),
// adding the word when absent.  Allocates.
void set_global_value(int32_t symbol, const Cell* value);
// The symbol's global value cell found without regard to case, or null.
Cell* global_value_pointer(int32_t symbol);
// The symbol's value cell in the context found without regard to case, or
// null when absent; a stack context is looked up in the global context.
Cell* value_by_symbol(int32_t symbol, Node ctx);

// ---- Binding ---------------------------------------------------------------------------

// When the word's symbol is in the context (case-insensitive), rebinds the
// cell to it (context and slot) and answers the slot; else answers -1 and
// leaves the cell alone.  Never allocates.
int32_t bind_word(Node ctx, Cell* word);
// Binds every word!, set-word!, get-word!, lit-word! and refinement! of the
// block (from its buffer's head) and, recursively, of every nested block!,
// paren!, path kind and hash!; words whose symbol the context lacks keep
// their binding, and nothing is added.  With `self`, a word! spelled exactly
// `self` is bound to the context with slot -1 (it then denotes the
// context's self value).  A series met again inside itself is skipped;
// nesting deeper than the cycle stack raises internal/too-deep.  Never
// allocates.  Answers the block.
Cell* bind_deep(Cell* block, Node ctx, bool self);

// ---- Reading and writing slots ---------------------------------------------------------

// The value cell of the word's slot in `ctx`.  A word with slot -1 spelled
// `self` answers its own context's self cell; any other raises
// script/no-value.  A stack context with no running call raises
// script/not-in-context.  May allocate only to fill a value block that lags
// behind its word list.
Cell* word_value_pointer(const Cell* word, Node ctx);
Cell* get_word_value(const Cell* word);  // in the word's own context
// Stores a copy of the value in the word's slot of `ctx` and answers the
// slot.  A word with slot -1 is first given one (exact lookup, else a
// case-insensitive one that adds when absent) and the slot is written back
// into `word`, which must not be a cell of the context's own word list.  A
// stack context with no running call raises script/not-defined.  In an
// object context the slot's word is marked changed, and with `notify` an
// object with on-change info is told through the on-change hook.  Allocates.
Cell* set_value(Cell* word, const Cell* value, Node ctx, bool notify);
Cell* set_word_value(Cell* word, const Cell* value);  // own context, notify on
void  set_index_integer(Cell* word, int32_t n);       // an integer! as the value

// The object module's notification: called with the object (the self cell),
// the word, the old value (a cell on the argument stack) and the new value.
// The guard global is saved before the call and restored after it.
using OnChangeHook = void (*)(Cell* object, Cell* word, Cell* old_value, Cell* new_value);
void set_on_change_hook(OnChangeHook hook);
extern int32_t on_change_guard;

// ---- Slots by index (compiled code and the evaluator) --------------------------------

Cell* word_cell_at(Node ctx, int32_t index);     // the word list's cell; never allocates
Cell* push_word_cell(Node ctx, int32_t index);   // a copy pushed on the argument stack
// The context's own word cell for the symbol (exact), else a new global word
// (make_global_word).  Allocates.
Cell* word_for_symbol(Node ctx, int32_t symbol);
// Pushes a copy of the slot's value (from the stack or the value block);
// script/not-defined, argument the slot's word, when no call is running.
Cell* push_local(Node ctx, int32_t index);
// Stores a copy of the argument stack's top into the slot (marking the word
// changed in an object context) and answers the slot.
Cell* store_top_at(Node ctx, int32_t index);
// The same, after pushing a copy of the slot's old value.
Cell* push_value_marked(Node ctx, int32_t index);

}  // namespace context

namespace object {
// The value cell at the index of a context with a value block.
Cell* value_pointer_at(Node ctx, int32_t index);
}  // namespace object

}  // namespace qor
