// The datatype and typeset predicates: one comparison or one bit test each,
// on any value (unset included).
#include "library/routines.hpp"

#include <cstddef>

#include "datatypes/context.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/memory.hpp"

namespace qor::routines {

namespace {

Cell* answer_logic(bool b) {
    *result_cell() = Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0};
    return result_cell();
}

// True exactly when the value's datatype id is T: parents do not count.
template <uint32_t T>
Cell* is_type(Cell* const* args) {
    return answer_logic(type_of(args[0]) == T);
}

// A typeset's name as a template argument.
template <size_t N>
struct TypesetName {
    char text[N];
    constexpr TypesetName(const char (&name)[N]) {
        for (size_t i = 0; i < N; i++) text[i] = name[i];
    }
};

// True when the value's type is in the typeset of that name, looked up at
// every call so that a script that redefines one changes its predicate.
template <TypesetName Name>
Cell* in_typeset(Cell* const* args) {
    // The symbol is found once per memory generation (tests start new ones).
    static int32_t symbol = 0;
    static uint32_t generation = 0;
    if (symbol == 0 || generation != memory::generation()) {
        symbol = symbol::find(Name.text);
        generation = memory::generation();
    }
    const Cell* ts = symbol ? context::global_value_pointer(symbol) : nullptr;
    uint32_t t = type_of(args[0]);
    if (!ts) return answer_logic(false);
    // Byte t >> 3 of the 96-bit map, bit 0x80 >> (t & 7).
    const uint8_t* map = reinterpret_cast<const uint8_t*>(&ts->data1);
    return answer_logic(t < 96 && (map[t >> 3] & (0x80u >> (t & 7))) != 0);
}

const Entry PREDICATES[] = {
    {"bitset?", is_type<TYPE_BITSET>},       {"binary?", is_type<TYPE_BINARY>},
    {"block?", is_type<TYPE_BLOCK>},         {"char?", is_type<TYPE_CHAR>},
    {"email?", is_type<TYPE_EMAIL>},         {"file?", is_type<TYPE_FILE>},
    {"float?", is_type<TYPE_FLOAT>},         {"get-path?", is_type<TYPE_GET_PATH>},
    {"get-word?", is_type<TYPE_GET_WORD>},   {"hash?", is_type<TYPE_HASH>},
    {"integer?", is_type<TYPE_INTEGER>},     {"issue?", is_type<TYPE_ISSUE>},
    {"lit-path?", is_type<TYPE_LIT_PATH>},   {"lit-word?", is_type<TYPE_LIT_WORD>},
    {"logic?", is_type<TYPE_LOGIC>},         {"map?", is_type<TYPE_MAP>},
    {"none?", is_type<TYPE_NONE>},           {"pair?", is_type<TYPE_PAIR>},
    {"paren?", is_type<TYPE_PAREN>},         {"path?", is_type<TYPE_PATH>},
    {"percent?", is_type<TYPE_PERCENT>},     {"refinement?", is_type<TYPE_REFINEMENT>},
    {"set-path?", is_type<TYPE_SET_PATH>},   {"set-word?", is_type<TYPE_SET_WORD>},
    {"string?", is_type<TYPE_STRING>},       {"tag?", is_type<TYPE_TAG>},
    {"time?", is_type<TYPE_TIME>},           {"typeset?", is_type<TYPE_TYPESET>},
    {"tuple?", is_type<TYPE_TUPLE>},         {"unset?", is_type<TYPE_UNSET>},
    {"url?", is_type<TYPE_URL>},             {"word?", is_type<TYPE_WORD>},
    {"image?", is_type<TYPE_IMAGE>},         {"date?", is_type<TYPE_DATE>},
    {"money?", is_type<TYPE_MONEY>},         {"ref?", is_type<TYPE_REF>},
    {"point2D?", is_type<TYPE_POINT2D>},     {"point3D?", is_type<TYPE_POINT3D>},
    {"handle?", is_type<TYPE_HANDLE>},       {"error?", is_type<TYPE_ERROR>},
    {"action?", is_type<TYPE_ACTION>},       {"native?", is_type<TYPE_NATIVE>},
    {"datatype?", is_type<TYPE_DATATYPE>},   {"function?", is_type<TYPE_FUNCTION>},
    {"object?", is_type<TYPE_OBJECT>},       {"op?", is_type<TYPE_OP>},
    {"routine?", is_type<TYPE_ROUTINE>},     {"vector?", is_type<TYPE_VECTOR>},
    {"any-list?", in_typeset<"any-list!">},          {"any-block?", in_typeset<"any-block!">},
    {"any-function?", in_typeset<"any-function!">},  {"any-object?", in_typeset<"any-object!">},
    {"any-path?", in_typeset<"any-path!">},          {"any-string?", in_typeset<"any-string!">},
    {"any-word?", in_typeset<"any-word!">},          {"series?", in_typeset<"series!">},
    {"number?", in_typeset<"number!">},              {"immediate?", in_typeset<"immediate!">},
    {"scalar?", in_typeset<"scalar!">},              {"all-word?", in_typeset<"all-word!">},
    {"any-point?", in_typeset<"any-point!">},        {"planar?", in_typeset<"planar!">},
    {nullptr, nullptr},
};

}  // namespace

const Entry* predicate_entries() { return PREDICATES; }

}  // namespace qor::routines
