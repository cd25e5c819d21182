// Helpers shared by the natives' files: the argument cells and refinement
// tests, the argument type checks of a call with check? set (by type mask,
// or by the spec's typeset), and passing on an exit that was aimed below the
// native.  The interpreter checks types itself and calls with check? false.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "datatypes/error.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/call.hpp"
#include "runtime/cell.hpp"
#include "runtime/collector.hpp"
#include "runtime/throw.hpp"

namespace qor::natives::support {

// The running native's arguments: cell 0 is also its result slot.
inline Cell* args() { return stack::arguments_base(); }

// Type masks for the checks (type ids are below 64).
constexpr uint64_t T(uint32_t type) { return uint64_t(1) << type; }

// script/expect-arg: the current call's word, the value's datatype and the
// argument's word (spelled `arg`).
[[noreturn]] void raise_expect_arg(const Cell* value, const char* arg);

// The check of argument k (from the arguments base) against a mask of
// allowed types, made when the native was called with check? set.
inline void expect(uint32_t k, const char* arg, uint64_t allowed) {
    const Cell* a = args() + k;
    uint32_t t = type_of(a);
    if (t >= 64 || !((allowed >> t) & 1)) raise_expect_arg(a, arg);
}

// An exit whose code a nested evaluation answered and whose target lies
// below this native: the stacks are cut already.  The interpreter (check?
// false) takes the code back as pending; any other caller gets it thrown.
inline int32_t pass_on(bool check, uint32_t code) {
    if (check && code != 0) throw Thrown{code};
    return int32_t(code);
}

// ---- By typeset ----------------------------------------------------------------------------

inline Cell* arg(uint32_t i) { return stack::arguments_base() + i; }
inline bool used(const int32_t* refinements, uint32_t k) { return refinements[k] != -1; }

// A typeset of the listed types.
inline Cell typeset_of(std::initializer_list<uint32_t> types) {
    Cell ts{TYPE_TYPESET, 0, 0, 0};
    for (uint32_t t : types) typeset_set_bit(&ts, t);
    return ts;
}
inline Cell typeset_union(Cell a, const Cell& b) {
    a.data1 |= b.data1;
    a.data2 |= b.data2;
    a.data3 |= b.data3;
    return a;
}

// The named typesets the specs of these natives use.
inline Cell number_types() { return typeset_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT}); }
inline Cell any_point_types() { return typeset_of({TYPE_POINT2D, TYPE_POINT3D}); }
inline Cell scalar_types() {
    return typeset_union(typeset_union(number_types(), any_point_types()),
                         typeset_of({TYPE_MONEY, TYPE_CHAR, TYPE_PAIR, TYPE_TUPLE, TYPE_TIME, TYPE_DATE}));
}
inline Cell any_word_types() { return typeset_of({TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD}); }
inline Cell any_path_types() { return typeset_of({TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}); }
inline Cell any_block_types() {
    return typeset_union(any_path_types(), typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_HASH}));
}
inline Cell any_object_types() { return typeset_of({TYPE_OBJECT, TYPE_ERROR, TYPE_PORT}); }
inline Cell any_function_types() {
    return typeset_of({TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE});
}
inline Cell series_types() {
    return typeset_union(any_block_types(), typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL,
                                                        TYPE_REF, TYPE_BINARY, TYPE_IMAGE, TYPE_VECTOR}));
}

// script/expect-arg for the argument at `index`: the running call, the
// value's datatype and the argument's word.
[[noreturn]] inline void raise_expect_arg(int32_t index, int32_t position) {
    Cell call = stack::current_call();
    gc::CellRoot keep_call(&call);
    Cell datatype{TYPE_DATATYPE, type_of(arg(uint32_t(index))), 0, 0};
    Cell name = error::argument_word(position);
    gc::CellRoot keep_name(&name);
    raise_error("script", "expect-arg", &call, &datatype, &name);
}

// With check? true: the argument at `index` (from the arguments base) must be
// of a type the typeset holds; `position` names the argument in the spec
// (0-based over its words and refinements) for script/expect-arg.  An unused
// refinement's argument (index -1) is not checked.
inline void check_arg(bool check, int32_t index, const Cell& types, int32_t position) {
    if (check && index >= 0 && !typeset_allows(&types, type_of(arg(uint32_t(index))))) [[unlikely]]
        raise_expect_arg(index, position);
}

}  // namespace qor::natives::support
