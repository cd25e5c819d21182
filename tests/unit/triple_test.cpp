// triple!: three integers and their text form.
#include "datatypes/triple.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Triple : public RuntimeFixture {};

TEST_F(Triple, FormsAndMoldsAsAMakeExpression) {
    struct Case {
        Cell value;
        const char* text;
    } cases[] = {
        {triple::make(1, -2, 2147483647), "make triple! [1 -2 2147483647]"},
        {triple::make(INT32_MIN, 0, 0), "make triple! [-2147483648 0 0]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(form_of(c.value), c.text);
        EXPECT_EQ(mold_of(c.value), c.text);
        EXPECT_EQ(mold_of(c.value, true), c.text);
    }
    // Inside a block it molds like any element.
    EXPECT_EQ(mold_text(block_of({triple::make(1, 2, 3)})), "[make triple! [1 2 3]]");
}

TEST_F(Triple, EveryOtherActionIsUnsupported) {
    for (int slot = 1; slot <= ACTION_COUNT; slot++) {
        bool text = slot == SLOT_FORM || slot == SLOT_MOLD;
        EXPECT_EQ(registry::entry(TYPE_TRIPLE, slot) != ACTION_NONE, text) << ACTION_NAMES[slot];
    }
}

}  // namespace
}  // namespace qor
