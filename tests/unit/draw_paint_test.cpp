// The paint of a face's window over the recorder: the draw facet first,
// then the drawing event with the drawing held open, so that draw-face
// from an actor draws into that paint and nowhere else.
#include <gtest/gtest.h>

#include "gui/draw_backend.hpp"
#include "gui/draw_recorder.hpp"
#include "gui/face_slots.hpp"
#include "gui/headless.hpp"
#include "gui/window_system.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::gui;
using namespace qor::test;

namespace {

class DrawPaintTest : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        select_window_system(headless::window_system());
        current = this;
    }
    void TearDown() override {
        current = nullptr;
        RuntimeFixture::TearDown();
    }
    static DrawPaintTest* current;
    static void drawing_event(uint32_t) {
        current->eval("system/view/platform/draw-face win [box 1x1 2x2 bad-word box 3x3 4x4]");
    }
};
DrawPaintTest* DrawPaintTest::current = nullptr;

TEST_F(DrawPaintTest, DrawFaceDrawsIntoTheOpenPaint) {
    eval("draw-driver/record true win: make face! [type: 'window size: 20x10 draw: [pen red]] view/no-wait win");
    Cell win = global("win");
    gc::CellRoot keep(&win);
    uint32_t hwnd = faces::handle_of(&win);
    ASSERT_NE(hwnd, 0u);
    draw::recorder::clear_log();

    // Outside a paint draw-face draws nothing.
    eval("system/view/platform/draw-face win [box 0x0 1x1]");
    EXPECT_TRUE(draw::recorder::log().empty());

    // The error of the actor's block is printed; the paint completes.
    draw::paint_face(hwnd, &win, drawing_event);
    std::vector<std::string> expected = {"begin window 20x10", "pen 255.0.0", "box 1x1 2x2", "end"};
    EXPECT_EQ(draw::recorder::log(), expected);
    EXPECT_EQ(draw::open_canvas(hwnd), nullptr);
    eval("unview/all");
}

}  // namespace
