// The para style bits of each face type and what a font object asks of
// the platform.
#include <gtest/gtest.h>

#include <string>

#include "gui/fonts.hpp"
#include "gui/headless.hpp"
#include "gui/window_system.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::gui;
using namespace qor::test;

namespace {

class GuiFontsTest : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        select_window_system(headless::window_system());
    }
};

TEST_F(GuiFontsTest, ParaBitsByType) {
    struct Case { const char* type; const char* para; uint32_t bits; } cases[] = {
        {"base", "[]", 0x1 | 0x4},                     // centred both ways (wrap? is no)
        {"base", "[wrap?: none]", 0x1 | 0x4 | 0x10},
        {"base", "[align: 'right v-align: 'bottom]", 0x2 | 0x8},
        {"rich-text", "[align: 'justify wrap?: yes]", 0x10},
        {"button", "[]", 0x300 | 0xC00},
        {"check", "[align: 'center]", 0x300 | 0xC00},
        {"check", "[]", 0x100 | 0xC00},
        {"radio", "[align: 'right v-align: 'top]", 0x200 | 0x400},
        {"field", "[align: 'center v-align: 'middle]", 0x1 | 0x200 | 0xC0},
        {"area", "[align: 'right wrap?: yes]", 0x2},
        {"text", "[]", 0x4000},
        {"panel", "[align: 'center]", 0},
    };
    for (const Case& c : cases) {
        std::string src = std::string("make face! [type: '") + c.type + " para: make para! " + c.para + "]";
        Cell face = eval(src.c_str());
        gc::CellRoot keep(&face);
        EXPECT_EQ(fonts::para_bits(&face), c.bits) << c.type << " " << c.para;
    }
    Cell bare = eval("make face! [type: 'button]");
    EXPECT_EQ(fonts::para_bits(&bare), 0u);
}

TEST_F(GuiFontsTest, FontSpec) {
    eval("system/view/fonts/size: 10");
    Cell f = eval("make font! [name: {Courier New} size: 12 style: [bold strike wavy] angle: 45]");
    gc::CellRoot keep(&f);
    FontSpec s = fonts::spec_of(&f, 96);
    EXPECT_EQ(s.height, -16);
    EXPECT_EQ(s.weight, 700);
    EXPECT_TRUE(s.strike);
    EXPECT_FALSE(s.italic);
    EXPECT_EQ(s.orientation, 450);
    EXPECT_EQ(s.name[0], 'C');
    EXPECT_EQ(fonts::spec_of(&f, 144).height, -24);

    Cell g = eval("make font! [size: 0 style: 'italic anti-alias?: 'ClearType name: {0123456789012345678901234567890123456789}]");
    gc::CellRoot keep_g(&g);
    FontSpec t = fonts::spec_of(&g, 96);
    EXPECT_EQ(t.height, 10 * 96 / -72);   // system/view/fonts/size
    EXPECT_TRUE(t.italic);
    EXPECT_EQ(t.quality, 5);
    EXPECT_EQ(t.name[30], '0');
    EXPECT_EQ(t.name[31], 0);   // cut to 31 characters
}

}  // namespace
