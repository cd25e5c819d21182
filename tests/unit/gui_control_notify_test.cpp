// The rules behind control notifications: button clicks, the tri-state
// cycle, list selection changes and scroll-bar positions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "gui/control_notify.hpp"
#include "gui/event_loop.hpp"

using namespace qor;
using namespace qor::gui;
using namespace qor::gui::controls;

namespace {

TEST(GuiControlNotify, TriStateCycleComesBackToUnchecked) {
    int32_t s = 0;
    int32_t seen[4];
    for (int32_t& v : seen) {
        s = next_check_state(s);
        v = s;
    }
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[1], 2);
    EXPECT_EQ(seen[2], 0);
    EXPECT_EQ(seen[3], 1);
    EXPECT_EQ(next_check_state(7), 0);   // an unknown state starts over
}

TEST(GuiControlNotify, ClickActionsByButtonKind) {
    struct Case {
        ButtonKind kind;
        bool tri, checked, tab;
        bool cycle, read_back;
        uint32_t event;
    } cases[] = {
        {ButtonKind::BUTTON, false, false, false, false, false, EVT_CLICK},
        {ButtonKind::TOGGLE, false, true, false, false, true, EVT_CHANGE},
        {ButtonKind::CHECK, false, false, false, false, true, EVT_CHANGE},
        {ButtonKind::CHECK, true, false, false, true, true, EVT_CHANGE},
        {ButtonKind::RADIO, false, false, false, false, true, EVT_CLICK},
        {ButtonKind::RADIO, false, true, false, false, false, 0},    // already on: no click
        {ButtonKind::RADIO, false, false, true, false, false, 0},    // reached with Tab
        {ButtonKind::OTHER, true, true, false, false, false, 0},
    };
    for (const Case& c : cases) {
        ClickAction a = click_action(c.kind, c.tri, c.checked, c.tab);
        SCOPED_TRACE(int(c.kind));
        EXPECT_EQ(a.cycle, c.cycle);
        EXPECT_EQ(a.read_back, c.read_back);
        EXPECT_EQ(a.event, c.event);
    }
}

TEST(GuiControlNotify, SelectionIsNewUnlessSelectedHoldsIt) {
    Cell three = integer::make(3);
    Cell none{TYPE_NONE, 0, 0, 0};
    Cell fl = float_::make(3.0);
    EXPECT_FALSE(selection_is_new(&three, 2));
    EXPECT_TRUE(selection_is_new(&three, 3));
    EXPECT_TRUE(selection_is_new(&none, -1));   // none is no index, even for no selection
    EXPECT_TRUE(selection_is_new(&fl, 2));
    EXPECT_TRUE(selection_is_new(nullptr, 0));
    Cell zero = integer::make(0);
    EXPECT_FALSE(selection_is_new(&zero, -1));
}

TEST(GuiControlNotify, ScrollPositionsPerRequest) {
    // A bar over 0..200 at 100, a step of 0.1 and a page of 25%.
    struct Case {
        uint32_t request;
        int32_t track, position;
        double step, page;
        int32_t want;
    } cases[] = {
        {SCROLL_LINE_DOWN, 0, 100, 0.1, 0.25, 120},
        {SCROLL_LINE_UP, 0, 100, 0.1, 0.25, 80},
        {SCROLL_LINE_UP, 0, 5, 0.1, 0.25, 0},         // clamped at the start
        {SCROLL_LINE_DOWN, 0, 195, 0.1, 0.25, 200},   // and at the end
        {SCROLL_LINE_DOWN, 0, 100, 0.004, 0.25, 100}, // 0.8 truncates to no move
        {SCROLL_PAGE_DOWN, 0, 100, 0.1, 0.25, 150},
        {SCROLL_PAGE_UP, 0, 100, 0.1, 0.25, 50},
        {SCROLL_PAGE_DOWN, 0, 180, 0.1, 0.25, 200},   // a page never passes the end
        {SCROLL_THUMB_TRACK, 42, 100, 0.1, 0.25, 42},
        {SCROLL_THUMB_TRACK, -7, 100, 0.1, 0.25, 0},
        {SCROLL_THUMB_POSITION, 42, 100, 0.1, 0.25, 100},
        {SCROLL_TOP, 0, 100, 0.1, 0.25, 100},
        {SCROLL_LINE_DOWN, 0, 100, 1e300, 0.25, 200}, // a huge step goes to the end
        {SCROLL_LINE_UP, 0, 100, -1e300, 0.25, 200},
    };
    for (const Case& c : cases) {
        int32_t out = -1;
        SCOPED_TRACE(c.request);
        ASSERT_TRUE(scroll_position(c.request, c.track, 0, 200, c.position, c.step, c.page, &out));
        EXPECT_EQ(out, c.want);
    }
    int32_t out = 77;
    EXPECT_FALSE(scroll_position(SCROLL_END, 0, 0, 200, 100, 0.1, 0.25, &out));
    EXPECT_EQ(out, 77);
    // A negative minimum keeps its own range.
    ASSERT_TRUE(scroll_position(SCROLL_LINE_DOWN, 0, -100, 100, 0, 0.5, 0.25, &out));
    EXPECT_EQ(out, 100);
}

TEST(GuiControlNotify, RatiosFromFacets) {
    Cell f = float_::make(0.2);
    Cell p = float_::make(0.5, TYPE_PERCENT);
    Cell i = integer::make(1);
    Cell none{TYPE_NONE, 0, 0, 0};
    Cell nan = float_::make(std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(ratio_of(&f, 0.1), 0.2);
    EXPECT_DOUBLE_EQ(ratio_of(&p, 0.1), 0.5);
    EXPECT_DOUBLE_EQ(ratio_of(&i, 0.1), 1.0);
    EXPECT_DOUBLE_EQ(ratio_of(&none, 0.1), 0.1);
    EXPECT_DOUBLE_EQ(ratio_of(&nan, 0.1), 0.1);
    EXPECT_DOUBLE_EQ(ratio_of(nullptr, 0.3), 0.3);
}

}  // namespace
