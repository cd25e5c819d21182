// What select and change events read from their control before the actor
// runs: a changed text into `text` (unless the face asks for no-sync), a
// drop-down's chosen item, and a tab-panel's tab in `picked`.
#include <gtest/gtest.h>

#include "datatypes/string.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/headless.hpp"
#include "gui/window_system.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::gui;
using namespace qor::test;

namespace {

// The control's text as the stand-in reports it; the index read is kept.
int32_t g_index_read = -99;
void read_text(uint32_t, Cell* face, int32_t index) {
    g_index_read = index;
    if (Cell* text = faces::facet(face, faces::TEXT)) *text = string::from_utf8(index == -1 ? "typed" : "item");
}

class GuiEventTextTest : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        system_ = *headless::window_system();
        system_.read_text = read_text;
        select_window_system(&system_);
        g_index_read = -99;
        eval("seen: none picked: none"
             " act: context [on-change: func [f e][seen: all [f/text copy f/text] picked: e/picked]"
             "               on-select: func [f e][seen: copy f/text picked: e/picked]]"
             " fld: make face! [type: 'field text: \"old\" actors: act offset: 0x0 size: 80x20]"
             " quiet: make face! [type: 'field text: \"old\" flags: 'no-sync actors: act offset: 0x30 size: 80x20]"
             " drop: make face! [type: 'drop-down text: \"old\" data: [\"a\" \"b\"] actors: act offset: 0x60 size: 80x20]"
             " tabs: make face! [type: 'tab-panel data: [\"x\" \"y\"] actors: act offset: 0x90 size: 80x60]"
             " win: make face! [type: 'window size: 200x200 pane: reduce [fld quiet drop tabs]]"
             " view/no-wait win");
    }
    void TearDown() override {
        eval("unview/all");
        RuntimeFixture::TearDown();
    }
    // Makes the event for the face's window; answers what the actor saw.
    std::string fire(const char* face, uint32_t code, uint32_t flags) {
        eval("seen: none picked: none");
        Cell f = global(face);
        Message msg{faces::handle_of(&f), 0, 0, 0, 0, 0, 0};
        make_event(&msg, flags, code);
        return mold_of(eval("reduce [seen picked]"));
    }
    WindowSystem system_;
};

TEST_F(GuiEventTextTest, ChangeReadsTheControlTextUnlessNoSync) {
    EXPECT_EQ(fire("fld", EVT_CHANGE, uint32_t(-1)), R"(["typed" 0])");
    EXPECT_EQ(g_index_read, -1);
    g_index_read = -99;
    EXPECT_EQ(fire("fld", EVT_CHANGE, 0), R"(["typed" 0])");   // no flags: nothing read again
    EXPECT_EQ(g_index_read, -99);
    EXPECT_EQ(fire("quiet", EVT_CHANGE, uint32_t(-1)), R"(["old" 0])");
    EXPECT_EQ(g_index_read, -99);
}

TEST_F(GuiEventTextTest, DropDownSelectReadsTheItemAndTabsCarryTheirTab) {
    EXPECT_EQ(fire("drop", EVT_SELECT, 1), R"(["item" 2])");
    EXPECT_EQ(g_index_read, 1);
    g_index_read = -99;
    EXPECT_EQ(fire("fld", EVT_SELECT, 4), R"(["old" 5])");   // only a drop-down reads its item
    EXPECT_EQ(g_index_read, -99);
    EXPECT_EQ(fire("tabs", EVT_CHANGE, 2), R"([none 2])");
    EXPECT_EQ(g_index_read, -99);
}

}  // namespace
