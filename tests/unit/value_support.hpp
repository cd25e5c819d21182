// Helpers shared by the datatype tests: text forms through the action table,
// errors raised by a call, cell makers.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "runtime/cell.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_out.hpp"
#include "datatypes/unset.hpp"
#include "runtime/throw.hpp"

namespace qor::test {

inline void init_core_types() {
    datatype::init();
    unset::init();
    none::init();
    logic::init();
}

inline Cell integer_cell(int32_t n) { return Cell{TYPE_INTEGER, 0, uint32_t(n), 0}; }
inline Cell float_cell(double d, uint32_t type = TYPE_FLOAT) {
    Cell c{type, 0, 0, 0};
    set_cell_float(&c, d);
    return c;
}
inline Cell logic_cell(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
inline Cell datatype_cell(uint32_t type) { return Cell{TYPE_DATATYPE, type, 0, 0}; }
inline Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
inline Cell unset_cell() { return Cell{TYPE_UNSET, 0, 0, 0}; }

// Forms or molds a value through its type's slot, checks that the remaining
// limit accounts for exactly the text appended, and answers the text.
// Characters of UTF-8 text (output limits count characters, not bytes).
inline int32_t utf8_chars(const std::string& text) {
    int32_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

inline std::string form_of(Cell value, int32_t limit = 1000) {
    Cell out;
    string_new_output(&out);
    FormFn form = registry::action<SLOT_FORM>(type_of(&value));
    EXPECT_NE(form, nullptr);
    if (!form) return {};
    int32_t left = form(&value, &out, nullptr, limit);
    std::string text = string_text_of(&out);
    EXPECT_EQ(left, limit - utf8_chars(text)) << "limit after forming " << text;
    return text;
}

inline std::string mold_of(Cell value, bool all = false, int32_t limit = 1000) {
    Cell out;
    string_new_output(&out);
    MoldFn mold = registry::action<SLOT_MOLD>(type_of(&value));
    EXPECT_NE(mold, nullptr);
    if (!mold) return {};
    int32_t left = mold(&value, &out, false, all, false, nullptr, limit, 0);
    std::string text = string_text_of(&out);
    EXPECT_EQ(left, limit - utf8_chars(text)) << "limit after molding " << text;
    return text;
}

inline int32_t compare_of(Cell a, Cell b, int32_t op) {
    return registry::action<SLOT_COMPARE>(type_of(&a))(&a, &b, op);
}

// Runs `f`, which must raise a language error, and answers what it raised.
template <class F>
RaisedError raised_by(F f) {
    try {
        f();
    } catch (const Thrown& t) {
        EXPECT_EQ(t.code, THROW_ERROR);
        return last_raised_error();
    }
    ADD_FAILURE() << "no error was raised";
    RaisedError nothing;
    return nothing;
}

}  // namespace qor::test
