// Layered base faces on Windows: a transparent colour makes the face's
// window layered, and changing the colour between opaque and transparent
// gives the face a new window of the other kind in the old one's z-order
// place.  Needs real windows (Windows, or wine).
#include <gtest/gtest.h>

#include "gui/face_slots.hpp"
#include "gui/window_system.hpp"
#include "runtime_fixture.hpp"

// windows.h after the portable headers: its macros have the names of their constants.
#include "gui/backend/win32_backend.hpp"

using namespace qor;
using namespace qor::gui;
using namespace qor::test;

namespace {

class LayeredTest : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        WindowSystem* native = native_window_system();
        ASSERT_NE(native, nullptr);
        select_window_system(native);
        ws().start();
    }
    void TearDown() override {
        eval("unview/all");
        RuntimeFixture::TearDown();
    }
    HWND window_of(const char* face) {
        Cell f = eval(face);
        return win32::to_hwnd(faces::handle_of(&f));
    }
    static bool layered(HWND h) { return (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }
};

TEST_F(LayeredTest, ColourDecidesTheKindOfWindowInTheSameZOrderPlace) {
    eval("a: make face! [type: 'base size: 40x40 offset: 0x10 color: 255.0.0] "
         "b: make face! [type: 'base size: 40x40 offset: 50x10 color: 0.0.255.128] "
         "c: make face! [type: 'base size: 40x40 offset: 100x10 color: 0.255.0] "
         "win: make face! [type: 'window size: 200x100 pane: reduce [a b c]] view/no-wait win");
    HWND first = window_of("b");
    ASSERT_TRUE(IsWindow(first));
    EXPECT_TRUE(layered(first));
    EXPECT_FALSE(layered(window_of("a")));
    bool child = win32::backend().win8_or_later;   // before Windows 8 it is a popup over the window
    HWND above = child ? GetWindow(first, GW_HWNDPREV) : nullptr;

    eval("b/color: 0.0.255");
    HWND opaque = window_of("b");
    EXPECT_FALSE(IsWindow(first));
    ASSERT_TRUE(IsWindow(opaque));
    EXPECT_FALSE(layered(opaque));
    EXPECT_EQ(GetWindowLongW(opaque, GWL_STYLE) & WS_CHILD, WS_CHILD);
    if (child) {
        EXPECT_EQ(GetWindow(opaque, GW_HWNDPREV), above);
    }

    eval("b/color: 0.0.255.200");
    HWND again = window_of("b");
    ASSERT_TRUE(IsWindow(again));
    EXPECT_TRUE(layered(again));
    EXPECT_FALSE(IsWindow(opaque));

    eval("b/color: 255.255.0.100");   // still transparent: the window stays
    EXPECT_EQ(window_of("b"), again);
}

}  // namespace
