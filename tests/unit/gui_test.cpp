// The GUI's portable core over the headless window system: the face slot
// table, flag words, key classification, handle! text and the pre-dispatch
// of input messages.
#include <gtest/gtest.h>

#include "datatypes/handle.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/headless.hpp"
#include "gui/window_system.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::gui;
using namespace qor::test;

namespace {

class GuiTest : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        select_window_system(headless::window_system());
    }
    Cell window_face() {
        return eval("make face! [type: 'window size: 100x80 actors: context [on-over: func [f e][n: n + 1]]]");
    }
};

TEST_F(GuiTest, SlotTableGrowsAndReusesFreedSlots) {
    Cell face = window_face();
    gc::CellRoot keep(&face);
    std::vector<int32_t> taken;
    for (int i = 0; i < 101; ++i) taken.push_back(faces::alloc(&face));
    EXPECT_EQ(taken.front(), 1);
    EXPECT_EQ(taken.back(), 101);
    EXPECT_EQ(faces::capacity(), 200);
    eval("recycle");
    faces::free(57);
    faces::free(57);   // a second free changes nothing
    EXPECT_EQ(faces::used(), 100);
    EXPECT_EQ(faces::alloc(&face), 57);
    EXPECT_EQ(faces::get(57)->data1, face.data1);
    EXPECT_EQ(faces::get(0), nullptr);
}

TEST_F(GuiTest, FlagWordsBecomeBits) {
    struct Case { const char* flags; uint32_t bits; } cases[] = {
        {"[resize no-min]", 0x24000000}, {"'modal", 0x2000000}, {"[]", 0}, {"12", 0},
        {"[all-over focusable no-border]", 0x80000003},
    };
    for (const Case& c : cases) {
        Cell v = eval(c.flags);
        EXPECT_EQ(faces::get_flags(&v), c.bits) << c.flags;
    }
    EXPECT_EQ(raised_id([&] {
                  Cell v = eval("[resize sideways]");
                  faces::get_flags(&v);
              }),
              "script/invalid-arg");
}

TEST_F(GuiTest, CharacterKeysAndSpecialKeys) {
    for (uint32_t vk : {0x08u, 0x0Du, 0x20u, 0x30u, 0x41u, 0x5Au, 0x60u, 0x6Bu, 0x6Du, 0xBAu, 0xE2u, 0xF5u})
        EXPECT_TRUE(is_char_key(vk)) << vk;
    for (uint32_t vk : {0x10u, 0x25u, 0x6Cu, 0x70u, 0xA0u, 0xE5u, 0xFFu})
        EXPECT_FALSE(is_char_key(vk)) << vk;
    EXPECT_EQ(key_code(VK_CONTROL, 1 << 24), VK_RCONTROL);
    EXPECT_EQ(key_code(VK_MENU, 0), VK_LMENU);
    EXPECT_EQ(key_code(0x41, 0), 0x41);
}

TEST_F(GuiTest, HandleText) {
    struct Case { uint32_t value; int32_t cls; const char* form; const char* all; } cases[] = {
        {0, 0, "00000000h", "#[handle! 00000000h]"},
        {1234, 3, "000004D2h", "#[handle! 000004D2h window]"},
        {0xFFFFFFFF, 2, "FFFFFFFFh", "#[handle! FFFFFFFFh monitor]"},
    };
    for (const Case& c : cases) {
        Cell h = handle::make(c.value, c.cls);
        EXPECT_EQ(form_of(h), c.form);
        EXPECT_EQ(mold_of(h), "handle!");
        EXPECT_EQ(mold_of(h, true), c.all);
    }
}

TEST_F(GuiTest, RepeatedMousePositionIsSwallowed) {
    eval("n: 0 w: make face! [type: 'window size: 100x80 flags: 'all-over actors: context [on-over: func [f e][n: n + 1]]]"
         " view/no-wait w");
    Cell w = global("w");
    uint32_t hwnd = faces::handle_of(&w);
    ASSERT_NE(hwnd, 0u);
    Message move{hwnd, WM_MOUSEMOVE, 0, pack_xy(4, 5), 0, 0, 0};
    EXPECT_EQ(pre_dispatch(&move), 1);
    EXPECT_EQ(pre_dispatch(&move), 0);
    move.lparam = pack_xy(6, 5);
    EXPECT_EQ(pre_dispatch(&move), 1);
    Cell n = global("n");
    EXPECT_EQ(int_of(&n), 2);
    do_events(true);
    EXPECT_EQ(loop_state().loop_depth, 0);   // a no-wait pass counts no loop
}

}  // namespace
