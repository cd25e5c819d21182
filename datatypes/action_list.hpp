// The action slots, written once.  ORDER ACTION
//
// X(NAME, slot, c_name, "spelling", Signature) per slot, in slot order.
// The slot numbers index every datatype's action row: never renumber.
// NAME gives SLOT_<NAME>; c_name gives the evaluator's entry_<c_name>;
// Signature is the C++ type of the implementations a datatype registers for
// the slot (registry.hpp).
//
// Expanded into the ActionSlot enum, ACTION_NAMES and SlotSignature
// (registry.hpp) and the action entry table (evaluator/actions.cpp).
// boot/natives.qor holds the actions' specs under the same spellings.
#pragma once

#define QOR_ACTION_LIST(X)                                        \
    X(MAKE,      1,  make,       "make",       MakeFn)            \
    X(RANDOM,    2,  random,     "random",     RandomFn)          \
    X(REFLECT,   3,  reflect,    "reflect",    ReflectFn)         \
    X(TO,        4,  to,         "to",         MakeFn)            \
    X(FORM,      5,  form,       "form",       FormFn)            \
    X(MOLD,      6,  mold,       "mold",       MoldFn)            \
    X(EVAL_PATH, 7,  eval_path,  "eval-path",  EvalPathFn)        \
    X(SET_PATH,  8,  set_path,   "set-path",   DirectFn)          \
    X(COMPARE,   9,  compare,    "compare",    CompareFn)         \
    X(ABSOLUTE,  10, absolute,   "absolute",   DirectFn)          \
    X(ADD,       11, add,        "add",        DirectFn)          \
    X(DIVIDE,    12, divide,     "divide",     DirectFn)          \
    X(MULTIPLY,  13, multiply,   "multiply",   DirectFn)          \
    X(NEGATE,    14, negate,     "negate",     UnaryFn)           \
    X(POWER,     15, power,      "power",      DirectFn)          \
    X(REMAINDER, 16, remainder,  "remainder",  DirectFn)          \
    X(ROUND,     17, round,      "round",      RoundFn)           \
    X(SUBTRACT,  18, subtract,   "subtract",   DirectFn)          \
    X(EVEN_Q,    19, even_q,     "even?",      PredicateFn)       \
    X(ODD_Q,     20, odd_q,      "odd?",       PredicateFn)       \
    X(AND_T,     21, and_t,      "and~",       DirectFn)          \
    X(COMPLEMENT,22, complement, "complement", UnaryFn)           \
    X(OR_T,      23, or_t,       "or~",        DirectFn)          \
    X(XOR_T,     24, xor_t,      "xor~",       DirectFn)          \
    X(APPEND,    25, append,     "append",     InsertFn)          \
    X(AT,        26, at,         "at",         DirectFn)          \
    X(BACK,      27, back,       "back",       DirectFn)          \
    X(CHANGE,    28, change,     "change",     ChangeFn)          \
    X(CLEAR,     29, clear,      "clear",      UnaryFn)           \
    X(COPY,      30, copy,       "copy",       CopyFn)            \
    X(FIND,      31, find,       "find",       FindFn)            \
    X(HEAD,      32, head,       "head",       DirectFn)          \
    X(HEAD_Q,    33, head_q,     "head?",      DirectFn)          \
    X(INDEX_Q,   34, index_q,    "index?",     DirectFn)          \
    X(INSERT,    35, insert,     "insert",     InsertFn)          \
    X(LENGTH_Q,  36, length_q,   "length?",    PredicateFn)       \
    X(MOVE,      37, move,       "move",       MoveFn)            \
    X(NEXT,      38, next,       "next",       DirectFn)          \
    X(PICK,      39, pick,       "pick",       PickFn)            \
    X(POKE,      40, poke,       "poke",       PokeFn)            \
    X(PUT,       41, put,        "put",        PutFn)             \
    X(REMOVE,    42, remove,     "remove",     RemoveFn)          \
    X(REVERSE,   43, reverse,    "reverse",    ReverseFn)         \
    X(SELECT,    44, select,     "select",     SelectFn)          \
    X(SORT,      45, sort,       "sort",       SortFn)            \
    X(SKIP,      46, skip,       "skip",       DirectFn)          \
    X(SWAP,      47, swap,       "swap",       BinaryFn)          \
    X(TAIL,      48, tail,       "tail",       DirectFn)          \
    X(TAIL_Q,    49, tail_q,     "tail?",      DirectFn)          \
    X(TAKE,      50, take,       "take",       TakeFn)            \
    X(TRIM,      51, trim,       "trim",       TrimFn)            \
    X(CREATE,    52, create,     "create",     UnaryFn)           \
    X(CLOSE,     53, close,      "close",      UnaryFn)           \
    X(DELETE,    54, delete,     "delete",     UnaryFn)           \
    X(MODIFY,    55, modify,     "modify",     ModifyFn)          \
    X(OPEN,      56, open,       "open",       OpenFn)            \
    X(OPEN_Q,    57, open_q,     "open?",      UnaryFn)           \
    X(QUERY,     58, query,      "query",      UnaryFn)           \
    X(READ,      59, read,       "read",       ReadFn)            \
    X(RENAME,    60, rename,     "rename",     BinaryFn)          \
    X(UPDATE,    61, update,     "update",     UnaryFn)           \
    X(WRITE,     62, write,      "write",      WriteFn)
