// unset!: make/to, text forms, comparison, constructors.
#include "runtime_fixture.hpp"
#include "datatypes/unset.hpp"

#include <gtest/gtest.h>

#include "datatypes/stack.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::test;

namespace {

class UnsetType : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        stack::seam_start_call();
    }
};

TEST_F(UnsetType, MakeAndToGiveUnsetWhateverTheArgument) {
    for (int slot : {SLOT_MAKE, SLOT_TO}) {
        for (Cell spec : {integer_cell(0), none_cell(), logic_cell(true), datatype_cell(TYPE_NONE)}) {
            stack::seam_start_call();
            Cell* proto = stack::push(unset_value);
            Cell* arg = stack::push(&spec);
            MakeFn fn = slot == SLOT_MAKE ? registry::action<SLOT_MAKE>(TYPE_UNSET)
                                          : registry::action<SLOT_TO>(TYPE_UNSET);
            Cell* result = fn(proto, arg);
            EXPECT_EQ(result, stack::arguments_base());
            EXPECT_EQ(type_of(result), TYPE_UNSET);
        }
    }
}

TEST_F(UnsetType, Text) {
    EXPECT_EQ(form_of(unset_cell()), "");
    EXPECT_EQ(mold_of(unset_cell()), "unset");
    EXPECT_EQ(mold_of(unset_cell(), true), "#(unset)");
}

TEST_F(UnsetType, Compare) {
    for (int32_t op : {COMP_EQUAL, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_SORT, COMP_CASE_SORT,
                       COMP_SAME, COMP_FIND})
        EXPECT_EQ(compare_of(unset_cell(), unset_cell(), op), 0) << op;
    for (int32_t op : {COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER, COMP_GREATER_EQUAL,
                       COMP_WORD_MATCH, COMP_WORD_MATCH_CANONICAL})
        EXPECT_EQ(compare_of(unset_cell(), unset_cell(), op), COMPARE_INCOMPARABLE) << op;
    EXPECT_EQ(compare_of(unset_cell(), none_cell(), COMP_EQUAL), COMPARE_INCOMPARABLE);
}

TEST_F(UnsetType, ConstructorsClearFlags) {
    Cell flagged{uint32_t(TYPE_INTEGER) | FLAG_NEW_LINE, 0, 7, 0};
    stack::push(&flagged);
    unset::set_result();
    EXPECT_EQ(stack::arguments_base()->header, uint32_t(TYPE_UNSET));
    Cell* pushed = unset::push_new();
    EXPECT_EQ(pushed, stack::top_value());
    EXPECT_EQ(pushed->header, uint32_t(TYPE_UNSET));
    EXPECT_EQ(unset_value->header, uint32_t(TYPE_UNSET));
}

}  // namespace
