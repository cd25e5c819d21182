// The datatype registry: type names, parents, the 62 action slots and the
// per-type action table.
//
// Every datatype registers once at start-up through `install_datatype`, with
// a `TypeSpec` that lists one entry per action slot: the implementation's
// address, ACTION_NONE (the type does not support the action) or
// ACTION_INHERIT (take the parent's entry as it stands at registration time;
// later changes to the parent do not propagate).  Parents are registered
// before their children, in REGISTRATION_ORDER.
//
// Two calling conventions share the table.  The arithmetic and navigation
// slots (`is_direct_slot`) take no arguments: they read their operands from
// the argument stack, the first at the arguments base, and leave the result in
// that base cell.  Every other slot takes explicit arguments in the order of
// its action's spec: a reference to each argument cell, then per refinement a
// flag, or a reference to its argument cell (nullptr when the refinement is
// absent).  A few slots take numbers instead (the converted /part and /dup
// counts of append, insert and change; the converted index of pick and poke).
// `SlotSignature<S>::type` names the exact C++ type of slot S; entries are
// stored as plain address words and cast back to that type on lookup, so a
// registration can only store a function of the right type (`set_slot`).
#pragma once
#include <cstddef>
#include <cstdint>

#include "datatypes/action_list.hpp"
#include "runtime/cell.hpp"

namespace qor {

// ---------------------------------------------------------------------------
// Action slots, from the action list.  ORDER ACTION: the numbers are fixed;
// every TypeSpec lists its slots in this order.
enum ActionSlot : uint8_t {
#define QOR_ACTION_SLOT(name, slot, c_name, spelling, signature) SLOT_##name = slot,
    QOR_ACTION_LIST(QOR_ACTION_SLOT)
#undef QOR_ACTION_SLOT
};
constexpr int ACTION_COUNT = 62;

namespace action_list_detail {
// The list runs 1..ACTION_COUNT without a gap.
constexpr bool slots_are_dense() {
    int expected = 1;
#define QOR_ACTION_SLOT(name, slot, c_name, spelling, signature) \
    if (slot != expected++) return false;
    QOR_ACTION_LIST(QOR_ACTION_SLOT)
#undef QOR_ACTION_SLOT
    return expected == ACTION_COUNT + 1;
}
}  // namespace action_list_detail
static_assert(action_list_detail::slots_are_dense(), "slots run 1..62 in list order");

// The actions' spellings by slot.  Index 0 is unused.
inline constexpr const char* ACTION_NAMES[ACTION_COUNT + 1] = {
    nullptr,
#define QOR_ACTION_NAME(name, slot, c_name, spelling, signature) spelling,
    QOR_ACTION_LIST(QOR_ACTION_NAME)
#undef QOR_ACTION_NAME
};

// The slots called with no arguments: they work on the argument stack.
constexpr bool is_direct_slot(int slot) {
    switch (slot) {
    case SLOT_ABSOLUTE: case SLOT_ADD: case SLOT_DIVIDE: case SLOT_MULTIPLY:
    case SLOT_POWER: case SLOT_REMAINDER: case SLOT_SUBTRACT: case SLOT_AND_T:
    case SLOT_OR_T: case SLOT_XOR_T: case SLOT_AT: case SLOT_BACK: case SLOT_HEAD:
    case SLOT_HEAD_Q: case SLOT_INDEX_Q: case SLOT_NEXT: case SLOT_SKIP:
    case SLOT_TAIL: case SLOT_TAIL_Q:
        return true;
    default:
        return false;
    }
}

// Comparison op codes, shared by every `compare` implementation and by find,
// select and sort.  A compare implementation answers -1, 0, 1, or
// COMPARE_INCOMPARABLE.
enum CompareOp : int32_t {
    COMP_EQUAL = 0, COMP_NOT_EQUAL = 1, COMP_STRICT_EQUAL = 2,   // strict: /case
    COMP_LESSER = 3, COMP_LESSER_EQUAL = 4, COMP_GREATER = 5, COMP_GREATER_EQUAL = 6,
    COMP_SORT = 7,          // sort order without regard to case
    COMP_CASE_SORT = 8,     // sort order with regard to case
    COMP_SAME = 9,          // identity
    COMP_WORD_MATCH = 10,   // word-matching equalities: exact spelling
    COMP_WORD_MATCH_CANONICAL = 11,   // ... canonical spelling
    COMP_FIND = 12,         // the default equality of find, select and put
};
constexpr int32_t COMPARE_INCOMPARABLE = -2;

// Math op codes of the scalar kernels and the component-wise types, and the
// set-operation codes of the set natives.
enum MathOp : int32_t {
    MATH_ADD = 0, MATH_SUBTRACT = 1, MATH_MULTIPLY = 2, MATH_DIVIDE = 3, MATH_REMAINDER = 4,
    MATH_OR = 5, MATH_AND = 6, MATH_XOR = 7,
    SET_UNIQUE = 8, SET_UNION = 9, SET_INTERSECT = 10, SET_EXCLUDE = 11, SET_DIFFERENCE = 12,
};

// ---------------------------------------------------------------------------
// Slot signatures.  Implementations that build a new value write it into the
// result slot (the arguments base) or push it, and answer that cell.

using DirectFn     = void (*)();
using MakeFn       = Cell* (*)(Cell* prototype, Cell* spec);           // make, to
using RandomFn     = Cell* (*)(Cell* value, bool seed, bool secure, bool only);
using ReflectFn    = Cell* (*)(Cell* value, Cell* field);
// form (value, output string, /part reference, limit) -> remaining limit
using FormFn       = int32_t (*)(Cell* value, Cell* out, Cell* part, int32_t limit);
// mold (value, output string, /only, /all, /flat, /part reference, limit,
// indent level) -> remaining limit
using MoldFn       = int32_t (*)(Cell* value, Cell* out, bool only, bool all, bool flat,
                                 Cell* part, int32_t limit, int32_t indent);
// One step of path evaluation: the current value, the element, the value to
// set (or none), the path, the parent, the previous element, the step index,
// the case flag, a reserved word, whether this is the last step and whether
// the owner must be notified.
using EvalPathFn   = Cell* (*)(Cell* value, Cell* element, Cell* new_value, Cell* path,
                               Cell* parent, Cell* previous, int32_t step, bool case_sensitive,
                               uint32_t reserved, bool last, bool notify);
// compare (value1, value2, op code) -> -1, 0, 1, or -2 when not comparable
using CompareFn    = int32_t (*)(Cell* value1, Cell* value2, int32_t op);
using UnaryFn      = Cell* (*)(Cell* value);    // negate, complement, clear, create, close,
                                                // delete, open?, query, update
using PredicateFn  = int32_t (*)(Cell* value);  // even?, odd?; length? (-1: no length)
using RoundFn      = Cell* (*)(Cell* n, Cell* to, bool even, bool down, bool half_down,
                               bool floor, bool ceiling, bool half_ceiling);
// append and insert (one implementation): /part count (-1 absent), /only,
// /dup count (1 absent), and whether to append
using InsertFn     = Cell* (*)(Cell* series, Cell* value, int32_t part, bool only, int32_t dup,
                               bool append);
using ChangeFn     = Cell* (*)(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
// copy (value, result cell, /part, /deep, /types)
using CopyFn       = Cell* (*)(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
using FindFn       = Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                               bool same, bool any, Cell* with, Cell* skip, bool last,
                               bool reverse, bool tail, bool match);
using MoveFn       = Cell* (*)(Cell* origin, Cell* target, Cell* part);
using PickFn       = Cell* (*)(Cell* series, int32_t index);
using PokeFn       = Cell* (*)(Cell* series, int32_t index, Cell* value);
using PutFn        = Cell* (*)(Cell* series, Cell* key, Cell* value, bool case_sensitive);
using RemoveFn     = Cell* (*)(Cell* series, Cell* part, Cell* key);
using ReverseFn    = Cell* (*)(Cell* series, Cell* part, Cell* skip);
using SelectFn     = Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                               bool same, bool any, Cell* with, Cell* skip, bool last,
                               bool reverse);
using SortFn       = Cell* (*)(Cell* series, bool case_sensitive, Cell* skip, Cell* comparator,
                               Cell* part, bool all, bool reverse, bool stable);
using BinaryFn     = Cell* (*)(Cell* a, Cell* b);   // swap, rename
using TakeFn       = Cell* (*)(Cell* series, Cell* part, bool deep, bool last);
using TrimFn       = Cell* (*)(Cell* series, bool head, bool tail, bool auto_, bool lines,
                               bool all, Cell* with);
using ModifyFn     = Cell* (*)(Cell* target, Cell* field, Cell* value, bool case_sensitive);
using OpenFn       = Cell* (*)(Cell* port, bool new_, bool read, bool write, bool seek,
                               Cell* allow);
using ReadFn       = Cell* (*)(Cell* source, Cell* part, Cell* seek, bool binary, bool lines,
                               bool info, Cell* as);
using WriteFn      = Cell* (*)(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                               bool append, Cell* part, Cell* seek, Cell* allow, Cell* as);

template <int S> struct SlotSignature;   // ::type, the C++ type of slot S
#define QOR_SLOT_SIGNATURE(name, slot, c_name, spelling, signature) \
    template <> struct SlotSignature<SLOT_##name> { using type = signature; };
QOR_ACTION_LIST(QOR_SLOT_SIGNATURE)
#undef QOR_SLOT_SIGNATURE

// ---------------------------------------------------------------------------
// Types: names, parents, registration order.

constexpr int TYPE_TABLE_SIZE = 57;   // room for type ids 0..56
constexpr int TYPE_ID_MAX = TYPE_TABLE_SIZE - 1;

// The types' spellings and parents by id, from the type list.  Index 0 is
// unused.
inline constexpr const char* TYPE_NAMES[TYPE_COUNT + 1] = {
    nullptr,
#define QOR_TYPE_NAME(name, id, spelling, parent) spelling,
    QOR_TYPE_LIST(QOR_TYPE_NAME)
#undef QOR_TYPE_NAME
};

// The type whose entries an ACTION_INHERIT slot takes (0 = none).
inline constexpr uint8_t TYPE_PARENTS[TYPE_COUNT + 1] = {
    0,
#define QOR_TYPE_PARENT(name, id, spelling, parent) parent,
    QOR_TYPE_LIST(QOR_TYPE_PARENT)
#undef QOR_TYPE_PARENT
};

// The order in which start-up registers the runtime's datatypes; event! (54)
// is registered later by the GUI backend.
inline constexpr uint8_t REGISTRATION_ORDER[] = {
    1, 2, 3, 4, 42, 5, 7, 41, 11, 13, 14, 15, 17, 16, 18, 19, 10, 21, 22, 23, 25, 26, 27,
    28, 24, 29, 6, 20, 9, 8, 32, 30, 31, 12, 33, 34, 35, 40, 36, 37, 38, 39, 43, 44, 45,
    46, 47, 48, 49, 50, 51, 52, 53,
};

namespace registry_detail {
// Every id 1..53 appears once, after its parent.
constexpr bool order_is_sound() {
    bool seen[TYPE_COUNT + 1] = {};
    for (uint8_t id : REGISTRATION_ORDER) {
        if (id == 0 || id >= TYPE_EVENT || seen[id]) return false;
        if (TYPE_PARENTS[id] != 0 && !seen[TYPE_PARENTS[id]]) return false;
        seen[id] = true;
    }
    for (int id = 1; id < TYPE_EVENT; ++id)
        if (!seen[id]) return false;
    return true;
}
}  // namespace registry_detail
static_assert(sizeof REGISTRATION_ORDER == TYPE_COUNT - 1);
static_assert(registry_detail::order_is_sound(), "parents register before children");

// ---------------------------------------------------------------------------
// Registration.

// An action entry as stored: an implementation's address or ACTION_NONE.
using ActionEntry = uintptr_t;
constexpr ActionEntry ACTION_NONE    = 0;
constexpr ActionEntry ACTION_INHERIT = ~ActionEntry(0);   // spec only: take the parent's

// The registration argument: 65 words.
struct TypeSpec {
    uint32_t    id;
    uint32_t    parent;                 // 0 = none
    const char* name;                   // NUL-terminated, with the "!"
    ActionEntry slots[ACTION_COUNT];    // ORDER ACTION, slot s at s - 1
};
constexpr uint32_t TYPE_SPEC_WORDS = 3 + ACTION_COUNT;
static_assert(sizeof(TypeSpec) == TYPE_SPEC_WORDS * 4);

// A spec for `id` with its name and parent from the tables above and every
// slot ACTION_NONE.
TypeSpec make_type_spec(uint32_t id);

template <int S>
inline void set_slot(TypeSpec& spec, typename SlotSignature<S>::type fn) {
    static_assert(S >= 1 && S <= ACTION_COUNT);
    spec.slots[S - 1] = reinterpret_cast<ActionEntry>(fn);
}
inline void inherit_slot(TypeSpec& spec, int slot) { spec.slots[slot - 1] = ACTION_INHERIT; }

// Registers one datatype.  `word_count` is the number of words of the spec
// (TYPE_SPEC_WORDS).  A wrong count, an id outside 1..56 or a name that does
// not end in "!" prints a "*** Datatype Error" report and ends the process
// with status 1: the registrations are built into the program, so this only
// fires on a programming error.
void install_datatype(uint32_t word_count, const TypeSpec* spec);

// ---------------------------------------------------------------------------
// Tables.

struct TypeNameEntry {
    const char* name;     // with the "!"; null while the id is unregistered
    uint32_t    length;   // without the "!"
    Cell*       word;     // the datatype's word; null until words exist
};
static_assert(sizeof(TypeNameEntry) == 12);

// The registry's whole state: plain data, so tests that register scratch
// types can save and restore it by value.
struct RegistryTables {
    TypeNameEntry names[TYPE_TABLE_SIZE];
    ActionEntry   actions[TYPE_TABLE_SIZE][ACTION_COUNT];   // ORDER ACTION
    uint32_t      highest;                                  // highest registered id
};

namespace registry {

RegistryTables& tables();

inline uint32_t highest_type() { return tables().highest; }

// The type-name entry of `id`; an id outside the table, or one never
// registered, answers an entry with the empty name.
const TypeNameEntry& type_name(uint32_t id);

// The stored entry for (type, slot 1..62); ACTION_NONE outside the table.
ActionEntry entry(uint32_t type, int slot);

// The entry cast to the slot's signature (null when the type lacks it).
template <int S>
inline typename SlotSignature<S>::type action(uint32_t type) {
    return reinterpret_cast<typename SlotSignature<S>::type>(entry(type, S));
}

// Start-up installs this once the global context exists: it makes the word
// of a datatype's name, which registrations from then on record at once.
// `set_type_word` records a word for an already registered type.
using WordFactory = Cell* (*)(const char* name);
void set_word_factory(WordFactory factory);
void set_type_word(uint32_t id, Cell* word);

}  // namespace registry
}  // namespace qor
