// Rich-text faces' DirectWrite layouts: metrics answered without a window,
// the layout kept in the face's `handles` block and made again when it is
// marked stale or its text changes in place.  Needs DirectWrite and a
// Direct2D device (real Windows, or a wine that has both).
#include <gtest/gtest.h>

#include <string>

#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/point.hpp"
#include "gui/backend/controls_win32.hpp"
#include "gui/window_system.hpp"
#include "runtime_fixture.hpp"

// windows.h (through the device header) after the portable headers: its
// macros have the names of their constants.
#include "gui/backend/d2d_device.hpp"

using namespace qor;
using namespace qor::gui;
using namespace qor::test;

namespace {

class TextBoxTest : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        WindowSystem* native = native_window_system();
        ASSERT_NE(native, nullptr);
        select_window_system(native);
        ws().start();   // registers the resource type the kept layouts use
        if (!d2d::init()) GTEST_SKIP() << "no Direct2D device here";
    }
    Cell metrics(const char* face, const char* arg, int32_t type) {
        Cell f = eval(face);
        gc::CellRoot keep(&f);
        Cell a = eval(arg);
        gc::CellRoot keep_a(&a);
        Cell out{TYPE_NONE, 0, 0, 0};
        EXPECT_TRUE(win32::text_box_metrics(&f, &a, type, &out)) << face;
        return out;
    }
};

TEST_F(TextBoxTest, LineCountsAndSizes) {
    eval("rt: make face! [type: 'rich-text text: \"\" size: 200x100 tabs: none line-spacing: none handles: none]");
    Cell lines = metrics("rt", "none", 4);
    EXPECT_EQ(integer::get_value(&lines), 1);   // an empty text has one line
    eval("rt/text: \"one^/two^/three\"");
    lines = metrics("rt", "none", 4);
    EXPECT_EQ(integer::get_value(&lines), 3);
    Cell size = metrics("rt", "none", 3);
    ASSERT_EQ(type_of(&size), TYPE_POINT2D);
    EXPECT_GT(point::coordinate(&size, 0), 0);
    EXPECT_GT(point::coordinate(&size, 1), 0);
}

TEST_F(TextBoxTest, LayoutIsKeptAndMadeAgainWhenStaleOrChanged) {
    eval("rt: make face! [type: 'rich-text text: \"abc\" size: 200x100 tabs: none line-spacing: none handles: none]");
    metrics("rt", "none", 4);
    Cell handles = eval("rt/handles");
    gc::CellRoot keep(&handles);
    ASSERT_EQ(type_of(&handles), TYPE_BLOCK);
    ASSERT_EQ(block::length(&handles), 4u);
    uint32_t first = block::item(&handles, 0)->data2;
    EXPECT_NE(first, 0u);
    EXPECT_EQ(eval("rt/handles/4").data1, 0u);   // not stale

    eval("kept: rt/handles");
    metrics("rt", "none", 4);
    EXPECT_NE(eval("same? kept rt/handles").data1, 0u);
    EXPECT_EQ(block::item(&handles, 0)->data2, first);   // the same layout answered

    // Appended in place: the same string, a longer line.
    Cell before = metrics("rt", "none", 3);
    eval("append rt/text \"defghij\"");
    Cell after = metrics("rt", "none", 3);
    EXPECT_GT(point::coordinate(&after, 0), point::coordinate(&before, 0));

    eval("change back tail rt/handles true");
    metrics("rt", "none", 4);
    EXPECT_EQ(eval("rt/handles/4").data1, 0u);   // made again
}

TEST_F(TextBoxTest, PositionsCountCharactersAboveTheBmpOnce) {
    // The third character follows the emoji: its caret lies right of the
    // second's, and a point just inside it maps back to it.
    eval("rt: make face! [type: 'rich-text text: \"a^(1F600)bc\" size: 300x100 handles: none]");
    Cell second = metrics("rt", "2", 0);
    Cell third = metrics("rt", "3", 0);
    EXPECT_GT(point::coordinate(&third, 0), point::coordinate(&second, 0));
    std::string inside = "(" + std::to_string(point::coordinate(&third, 0) + 1) + ", " +
                         std::to_string(point::coordinate(&third, 1) + 1) + ")";
    Cell at = metrics("rt", inside.c_str(), 5);
    EXPECT_EQ(integer::get_value(&at), 3);
}

}  // namespace
