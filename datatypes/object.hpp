// object!: a context with its values in a block, a class id, and optional
// change notification through the reserved fields on-change* and
// on-deep-change*.  error! and port! share the cell layout.
//
//   header  type id 32 (34 error!, 48 port!) and the new-line flag
//   word 1  node of the object's context (kind 2, values in a block, with
//           self); the context's self cell holds a copy of this cell
//   word 2  class id (signed): equal for objects of the same shape
//   word 3  node of the on-change info block, or 0 when the object has
//           neither reserved field
//
// The on-change info block holds two pair! cells (0: on-change*, 1:
// on-deep-change*), each {(slot << 16) | count, spec node}: the field's slot
// (all ones in the upper half when absent), how many defaults to push after
// the fixed arguments of its function, and the spec node that count was
// computed from.
//
// Class ids: one counter starting at 1000000; a new id is the counter plus
// one.  While the library boots (set_boot_classes(true)) every new shape
// gets BOOT_CLASS, the id of objects read from the boot payload, and the
// counter does not move, so the first object a user makes gets 1000001.
//
// Every maker may allocate and run Qor code (spec evaluation, change
// handlers): cells passed in must be reachable by the collector.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor {

inline bool is_object_kind(uint32_t t) { return t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_PORT; }

namespace object {

constexpr int32_t CLASS_COUNTER_START = 1000000;
constexpr int32_t BOOT_CLASS = -1;

// Registers object! (no parent).  Installs the change hooks of contexts and
// ownership marking and the path-change hook of number_hooks.hpp.
void init();

// ---- Class ids ----------------------------------------------------------------------------

int32_t new_class_id();            // BOOT_CLASS while booting, else counter + 1
void    set_boot_classes(bool on); // the start-up switch (ruling: boot objects share one id)
bool    boot_classes();
void    reset_class_counter();     // back to CLASS_COUNTER_START (tests)

// ---- Accessors (never allocate) ------------------------------------------------------------

inline Node context_of(const Cell* obj) { return reinterpret_cast<Node>(obj->data1); }
inline int32_t class_of(const Cell* obj) { return int32_t(obj->data2); }
inline Node info_node(const Cell* obj) { return reinterpret_cast<Node>(obj->data3); }
uint32_t field_count(const Cell* obj);
Cell* first_word(const Cell* obj);    // the word list's first cell
Cell* values_head(const Cell* obj);   // the value block's first cell
// The slot of the word's symbol (case-insensitive), -1 when absent.
int32_t word_index(const Cell* obj, const Cell* word);
// The field's value cell, or the global none cell when absent.
Cell* find_value(const Cell* obj, const Cell* word);
// What a path step does with an object's field when that needs nothing but
// finding the field (no error, no allocation, no change handler): the
// value read (null when the field is missing or unset, or the values lag
// behind the words), and the value stored (false when the field is
// missing, the word is bound to the object as its self, the values lag or
// the object has a change handler).  Otherwise the step takes it.
const Cell* path_field(const Cell* obj, const Cell* word);
bool set_path_field(const Cell* obj, const Cell* word, const Cell* value);
// True when the value (of the word in the object / at the slot) is an
// object! of that class.
bool word_holds_class(const Cell* obj, const Cell* word, int32_t class_id);
bool value_holds_class(const Cell* obj, int32_t index, int32_t class_id);

// ---- Making ----------------------------------------------------------------------------------

// The cell becomes an object! over a new empty context of that capacity,
// class 0, no on-change info; the cell is copied into the self cell.
Cell* init_cell(Cell* cell, int32_t capacity);
// Pushes an object! cell over the context and stores it as its self value.
Cell* push_new(Node ctx, int32_t class_id, Node info);
Cell* push_for_context(Node ctx, int32_t class_id, Node info);

// Builds the on-change info of an object (after every make and copy): a
// reserved field that is not a function raises script/bad-field-set; an
// object with on-deep-change* becomes the owner of its series.  Stores the
// object cell in the self cell.
void build_info(Cell* obj);

// `make object! spec` with a prototype (an object, or the datatype): the
// result is pushed and answered.
Cell* make(Cell* prototype, Cell* spec);

// The copy action's work: `target` becomes a copy of `prototype` (see the
// copy action), with the on-change info rebuilt when `rebuild_info`.
void copy_into(const Cell* prototype, Cell* target, bool deep, const Cell* types,
               bool rebuild_info);

// Copies the prototype's series values into the new object: series of the
// block and text kinds are replaced by fresh copies, the block kinds bound
// deep to the new object.  `proto_ctx` and `ctx` share their word lists.
void copy_values(Node proto_ctx, Node ctx);

// The object case of the native `set`: v spread over the fields (a block by
// position, an object by name) unless `only`; /any admits unset values;
// /some skips none values.
void set_many(Cell* obj, const Cell* source, bool any, bool only, bool some);

// The object of the native `construct` (prototype may be null or none).
Cell* make_from_spec(const Cell* spec, const Cell* prototype, bool only);

// ---- Notification ------------------------------------------------------------------------

// Calls on-change* of `obj` with the word, the old and the new value.
void fire_on_change(Cell* obj, Cell* word, Cell* old_value, Cell* new_value);
// Calls on-deep-change* of the owner.
void fire_on_deep_change(const Cell* owner, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t position,
                         int32_t part);
// fire_on_change with the old value one below the argument stack's top and
// the new value at the top.
void notify_change(Cell* obj, Cell* word);
void fire_on_change_from_stack(Cell* obj, Cell* word);

// ---- Text ------------------------------------------------------------------------------------

// The fields of an object for mold (molding) or form; answers the remaining
// limit.
int32_t mold_fields(const Cell* obj, Cell* out, bool only, bool all, bool flat, int32_t limit,
                    int32_t indent, bool molding);

// ---- Actions ---------------------------------------------------------------------------------
// eval-path reads a field when `new_value` is null and writes it otherwise
// (a none cell writes none); a write tells on-change* when the object has
// change information.

Cell*   object_make(Cell* prototype, Cell* spec);
Cell*   object_reflect(Cell* value, Cell* field);
int32_t object_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t object_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                    int32_t limit, int32_t indent);
Cell*   object_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                         Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                         bool last, bool notify);
int32_t object_compare(Cell* value1, Cell* value2, int32_t op);
Cell*   object_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell*   object_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                      bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell*   object_put(Cell* series, Cell* key, Cell* value, bool case_sensitive);
Cell*   object_modify(Cell* target, Cell* field, Cell* value, bool case_sensitive);

}  // namespace object

}  // namespace qor
