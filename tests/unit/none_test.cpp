// none!: make/to, text forms, comparison and the series actions on none.
#include "runtime_fixture.hpp"
#include "datatypes/none.hpp"

#include <gtest/gtest.h>

#include "datatypes/stack.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::test;

namespace {

class NoneType : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        stack::seam_start_call();
    }
};

TEST_F(NoneType, MakeAndToGiveNoneWhateverTheArgument) {
    for (Cell spec : {integer_cell(1), unset_cell(), logic_cell(false)}) {
        stack::seam_start_call();
        Cell* proto = stack::push(none_value);
        Cell* arg = stack::push(&spec);
        Cell* made = registry::action<SLOT_MAKE>(TYPE_NONE)(proto, arg);
        EXPECT_EQ(made, stack::arguments_base());
        EXPECT_EQ(made->header, uint32_t(TYPE_NONE));
        stack::push(&spec);
        Cell* converted = registry::action<SLOT_TO>(TYPE_NONE)(proto, stack::top_value());
        EXPECT_EQ(converted->header, uint32_t(TYPE_NONE));
    }
}

TEST_F(NoneType, Text) {
    EXPECT_EQ(form_of(none_cell()), "none");
    EXPECT_EQ(mold_of(none_cell()), "none");
    EXPECT_EQ(mold_of(none_cell(), true), "#(none)");
}

TEST_F(NoneType, Compare) {
    for (int32_t op : {COMP_EQUAL, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_SORT, COMP_CASE_SORT,
                       COMP_SAME, COMP_FIND})
        EXPECT_EQ(compare_of(none_cell(), none_cell(), op), 0) << op;
    for (int32_t op : {COMP_LESSER, COMP_GREATER_EQUAL, COMP_WORD_MATCH})
        EXPECT_EQ(compare_of(none_cell(), none_cell(), op), COMPARE_INCOMPARABLE) << op;
    EXPECT_EQ(compare_of(none_cell(), logic_cell(false), COMP_EQUAL), COMPARE_INCOMPARABLE);
    EXPECT_EQ(compare_of(none_cell(), unset_cell(), COMP_FIND), COMPARE_INCOMPARABLE);
}

// A failed find or select can be passed straight on: the series actions
// accept none and answer none (without the argument's flags).
TEST_F(NoneType, SeriesActionsAnswerNone) {
    Cell value = integer_cell(1);
    Cell part = integer_cell(2);
    auto fresh = [] { return Cell{uint32_t(TYPE_NONE) | FLAG_NEW_LINE, 0, 0, 0}; };
    Cell s;
    s = fresh();
    EXPECT_EQ(registry::action<SLOT_CLEAR>(TYPE_NONE)(&s)->header, uint32_t(TYPE_NONE));
    s = fresh();
    EXPECT_EQ(registry::action<SLOT_FIND>(TYPE_NONE)(&s, &value, &part, true, true, false, false,
                                                     nullptr, nullptr, true, false, true, false)
                  ->header,
              uint32_t(TYPE_NONE));
    s = fresh();
    EXPECT_EQ(registry::action<SLOT_SELECT>(TYPE_NONE)(&s, &value, nullptr, false, false, false,
                                                       false, nullptr, nullptr, false, false)
                  ->header,
              uint32_t(TYPE_NONE));
    s = fresh();
    EXPECT_EQ(registry::action<SLOT_REMOVE>(TYPE_NONE)(&s, &part, nullptr)->header,
              uint32_t(TYPE_NONE));
    s = fresh();
    EXPECT_EQ(registry::action<SLOT_TAKE>(TYPE_NONE)(&s, &part, true, true)->header,
              uint32_t(TYPE_NONE));
    s = fresh();
    EXPECT_EQ(registry::action<SLOT_LENGTH_Q>(TYPE_NONE)(&s), -1);   // the entry makes it none
}

TEST_F(NoneType, Constructors) {
    Cell flagged{uint32_t(TYPE_LOGIC) | FLAG_NEW_LINE, 1, 0, 0};
    stack::push(&flagged);
    none::set_result();
    EXPECT_EQ(stack::arguments_base()->header, uint32_t(TYPE_NONE));
    Cell* pushed = none::push_new();
    EXPECT_EQ(pushed, stack::top_value());
    EXPECT_EQ(pushed->header, uint32_t(TYPE_NONE));
    EXPECT_EQ(none_value->header, uint32_t(TYPE_NONE));
}

}  // namespace
