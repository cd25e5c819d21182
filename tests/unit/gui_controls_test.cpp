// Menus, native-control rules, requesters and rich-text runs: the portable
// tables behind the native controls.
#include <gtest/gtest.h>

#include "datatypes/pair.hpp"
#include "gui/controls.hpp"
#include "gui/dialogs.hpp"
#include "gui/face_slots.hpp"
#include "gui/headless.hpp"
#include "gui/menus.hpp"
#include "gui/rich_text.hpp"
#include "gui/window_system.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::gui;
using namespace qor::test;

namespace {

class GuiControlsTest : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        select_window_system(headless::window_system());
    }
};

TEST_F(GuiControlsTest, MenuBlocksGiveItemsSubmenusAndSeparators) {
    Cell blk = eval(R"(["Open" open "More" ["A" a "B" b] --- "Plain" 12 "Last" "Quit" quit])");
    gc::CellRoot keep(&blk);
    std::vector<MenuItem> items;
    ASSERT_TRUE(menus::build(&blk, &items));
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].text, "Open");
    EXPECT_GE(items[0].data, 0);
    EXPECT_TRUE(items[1].has_submenu);
    EXPECT_EQ(items[1].submenu.size(), 2u);
    EXPECT_TRUE(items[2].separator);
    EXPECT_EQ(items[3].data, -1);   // an integer is no word; it is skipped
    EXPECT_EQ(items[4].text, "Last");
    EXPECT_EQ(items[4].data, -1);   // a string after a string is the next item
    EXPECT_EQ(items[5].text, "Quit");
    Cell none{TYPE_NONE, 0, 0, 0};
    EXPECT_FALSE(menus::build(&none, &items));
    EXPECT_TRUE(items.empty());
}

TEST_F(GuiControlsTest, MenuBarOnlyForWindowsWithoutPopup) {
    struct Case { const char* menu; const char* type; bool bar; } cases[] = {
        {R"(["File" ["Exit" exit]])", "'window", true},
        {R"([popup "Copy" copy])", "'window", false},
        {R"([])", "'window", false},
        {R"(["Copy" copy])", "'base", false},
        {"none", "'window", false},
    };
    for (const Case& c : cases) {
        Cell m = eval(c.menu);
        gc::CellRoot keep(&m);
        Cell t = eval(c.type);
        EXPECT_EQ(menus::menu_bar(&m, &t), c.bar) << c.menu << " " << c.type;
    }
}

TEST_F(GuiControlsTest, ListItemsSkipOtherValues) {
    Cell data = eval(R"([1 "a" #issue "c" %f.txt http://x <t> me@x.org @ref 2.5])");
    gc::CellRoot keep(&data);
    std::vector<std::string> items = controls::list_items(&data);
    std::vector<std::string> want = {"a", "c", "f.txt", "http://x", "t", "me@x.org", "ref"};
    EXPECT_EQ(items, want);
    EXPECT_EQ(controls::longest_item(items), 3);
    EXPECT_EQ(controls::longest_item({}), -1);
}

TEST_F(GuiControlsTest, FacetValuesBecomeControlState) {
    struct Check { const char* data; bool tri; int32_t state; } checks[] = {
        {"none", true, controls::INDETERMINATE}, {"none", false, controls::UNCHECKED},
        {"true", false, controls::CHECKED}, {"false", true, controls::UNCHECKED}, {"12", false, controls::CHECKED},
    };
    for (const Check& c : checks) {
        Cell v = eval(c.data);
        EXPECT_EQ(controls::check_state(&v, c.tri), c.state) << c.data;
    }
    EXPECT_EQ(type_of(&(Cell const&)controls::check_data(controls::INDETERMINATE)), TYPE_NONE);
    Cell on = controls::check_data(controls::CHECKED);
    EXPECT_EQ(on.data1, 1u);

    struct Sel { const char* selected; int32_t list; int32_t tab; } sels[] = {
        {"0", -1, 1}, {"1", 0, 1}, {"5", 4, 2}, {"-3", -1, 1}, {"none", -1, 1}, {"'x", -1, 1},
    };
    for (const Sel& s : sels) {
        Cell v = eval(s.selected);
        EXPECT_EQ(controls::list_selection(&v), s.list) << s.selected;
        EXPECT_EQ(controls::tab_selection(&v, 2), s.tab) << s.selected;
    }
    EXPECT_EQ(controls::calendar_year(1500), 1601);
    EXPECT_EQ(controls::calendar_year(1600), 1601);
    EXPECT_EQ(controls::calendar_year(2026), 2026);
    EXPECT_EQ(controls::calendar_year(12000), 9999);
}

TEST_F(GuiControlsTest, SliderProgressAndScrollerPositions) {
    int32_t pos = -1;
    Cell quarter = eval("25%");
    EXPECT_TRUE(controls::unit_position(&quarter, 200, false, &pos));
    EXPECT_EQ(pos, 50);
    EXPECT_TRUE(controls::unit_position(&quarter, 200, true, &pos));
    EXPECT_EQ(pos, 150);
    Cell integer = eval("1");
    EXPECT_FALSE(controls::unit_position(&integer, 200, false, &pos));
    EXPECT_DOUBLE_EQ(controls::slider_data(150, 200, true), 0.25);
    EXPECT_DOUBLE_EQ(controls::slider_data(50, 200, false), 0.25);
    EXPECT_TRUE(controls::vertical_slider(20, 100));
    EXPECT_FALSE(controls::vertical_slider(100, 100));

    Cell over = eval("1.5");
    EXPECT_TRUE(controls::scroller_position(&over, 10, 110, &pos));
    EXPECT_EQ(pos, 110);
    Cell page = eval("0.25");
    EXPECT_TRUE(controls::scroller_page(&page, 0, 100, &pos));
    EXPECT_EQ(pos, 25);
    Cell negative = eval("-0.5");
    EXPECT_FALSE(controls::scroller_page(&negative, 0, 100, &pos));

    struct Unit { const char* v; double want; } units[] = {
        {"150%", 1.0}, {"-3", 0.0}, {"0.5", 0.5}, {"1", 1.0}, {"\"x\"", -1.0}, {"none", -1.0},
    };
    for (const Unit& u : units) {
        Cell v = eval(u.v);
        EXPECT_DOUBLE_EQ(controls::unit_interval(&v), u.want) << u.v;
    }
}

TEST_F(GuiControlsTest, EditSelectionsCountUtf16Units) {
    std::vector<uint32_t> text = {'a', 0x1F600, 'b', 'c'};
    struct Case { const char* selected; int32_t from, to; } cases[] = {
        {"2x3", 1, 4}, {"3x2", 1, 4}, {"1x1", 0, 1}, {"none", 0, 0}, {"0x2", 0, 3},
    };
    for (const Case& c : cases) {
        Cell v = eval(c.selected);
        int32_t from, to;
        controls::edit_selection(&v, text, &from, &to);
        EXPECT_EQ(from, c.from) << c.selected;
        EXPECT_EQ(to, c.to) << c.selected;
    }
    Cell back = controls::selection_value(1, 4, text);
    EXPECT_EQ(pair::x_of(&back), 2);
    EXPECT_EQ(pair::y_of(&back), 3);
    EXPECT_EQ(type_of(&back), TYPE_PAIR);
    Cell empty = controls::selection_value(2, 2, text);
    EXPECT_EQ(type_of(&empty), TYPE_NONE);
}

TEST_F(GuiControlsTest, ListEditsBecomeItemOperations) {
    Cell data = eval(R"([1 "a" "b" 2 "c"])");
    gc::CellRoot keep(&data);
    auto ops = [&](const char* action, int32_t index, int32_t part, bool same = false) {
        Cell a = eval(action);
        std::string out;
        for (const controls::ListOp& op : controls::list_change(&data, &a, index, part, same)) {
            out += op.kind == controls::ListOp::RESET ? "reset" : op.kind == controls::ListOp::REMOVE ? "del" : "ins";
            out += " " + std::to_string(op.position);
            if (!op.text.empty()) out += " " + op.text;
            out += ";";
        }
        return out;
    };
    EXPECT_EQ(ops("'remove", 2, 2), "del 1;");   // "b" and the integer: one item
    EXPECT_EQ(ops("'clear", 0, 5), "reset 0;");
    EXPECT_EQ(ops("'clear", 3, 2), "del 2;");
    EXPECT_EQ(ops("'appended", 4, 1), "ins 2 c;");
    EXPECT_EQ(ops("'inserted", 1, 2), "ins 0 a;ins 1 b;");
    EXPECT_EQ(ops("'move", 1, 1, true), "");
    EXPECT_EQ(ops("'sorted", 0, 5), "");
}

TEST_F(GuiControlsTest, EditOptionsAndAcceleratedStyle) {
    std::string hint;
    Cell opts = eval(R"([hint "Name" tabs 3 accelerated true])");
    gc::CellRoot keep(&opts);
    EXPECT_TRUE(controls::hint_text(&opts, &hint));
    EXPECT_EQ(hint, "Name");
    EXPECT_EQ(controls::tab_stop(&opts), 12);
    EXPECT_EQ(controls::accelerated_style(&opts, true), 0x80000u);
    EXPECT_EQ(controls::accelerated_style(&opts, false), 0x80080u);
    Cell plain = eval("[hint 12]");
    EXPECT_FALSE(controls::hint_text(&plain, &hint));
    EXPECT_EQ(controls::tab_stop(&plain), 16);
    EXPECT_EQ(controls::accelerated_style(&plain, true), 0u);
}

TEST_F(GuiControlsTest, AreaScrollBars) {
    auto text = [](const std::string& s) { return std::vector<uint32_t>(s.begin(), s.end()); };
    auto wrapped = [](const std::u32string& line) { return int32_t((line.size() * 7 + 99) / 100) * 15; };
    auto width = [](const std::u32string& line) { return int32_t(line.size()) * 7; };
    std::string many;
    for (int i = 0; i < 100; ++i) many += "line\n";
    std::string long_line(30, 'x');
    struct Case { std::string text; bool wrap; bool v, h; } cases[] = {
        {"short", false, false, false},
        {many, false, true, false},
        {long_line, false, false, true},
        {long_line, true, false, false},
        {long_line + "\n" + many, true, true, false},
    };
    for (const Case& c : cases) {
        controls::ScrollBars b = controls::area_scroll_bars(text(c.text), c.wrap, 100, 150, 7, 15, wrapped, width);
        EXPECT_EQ(b.vertical, c.v) << c.text.size() << " wrap " << c.wrap;
        EXPECT_EQ(b.horizontal, c.h) << c.text.size() << " wrap " << c.wrap;
    }
}

TEST_F(GuiControlsTest, LayeredFacesAndTabPages) {
    struct Case { const char* type; const char* color; uint32_t flags; bool layered; } cases[] = {
        {"'base", "0.0.255", 0, false}, {"'base", "0.0.255.0", 0, false}, {"'base", "0.0.255.128", 0, true},
        {"'rich-text", "none", 0, true}, {"'base", "1.2.3.4.5", 0, true}, {"'panel", "0.0.255.128", 0, false},
        {"'window", "0.0.0.100", faces::FACE_NO_BORDER, true}, {"'window", "0.0.0.100", 0, false},
        {"'window", "none", faces::FACE_NO_BORDER, false},
    };
    for (const Case& c : cases) {
        Cell t = eval(c.type), col = eval(c.color);
        EXPECT_EQ(controls::must_be_layered(&t, &col, c.flags), c.layered) << c.type << " " << c.color;
    }
    controls::Rect r = controls::tab_page(2, 24, 196, 150, 1.0);
    EXPECT_EQ(r.x, -1);
    EXPECT_EQ(r.y, 23);
    EXPECT_EQ(r.width, 200);
    EXPECT_EQ(r.height, 153);
    r = controls::tab_page(4, 48, 392, 300, 2.0);
    EXPECT_EQ(r.x, 2);
    EXPECT_EQ(r.height, 150);
    Cell red = eval("255.0.0"), text = eval("\"red\"");
    EXPECT_EQ(controls::facet_colour(&red), 0xFF);
    EXPECT_EQ(controls::facet_colour(&text), -1);
}

TEST_F(GuiControlsTest, CameraDeviceChoice) {
    int32_t device = -1;
    Cell none{TYPE_NONE, 0, 0, 0};
    EXPECT_FALSE(controls::camera_device(&none, 2, &device));
    Cell two = eval("2");
    EXPECT_TRUE(controls::camera_device(&two, 2, &device));
    EXPECT_EQ(device, 1);
    EXPECT_EQ(raised_id([&] {
                  Cell three = eval("3");
                  controls::camera_device(&three, 2, &device);
              }),
              "access/cannot-open");
}

TEST_F(GuiControlsTest, FiltersSelectionsAndPaths) {
    std::u16string f = dialogs::filter_buffer({{"Notes", "*.txt"}});
    EXPECT_EQ(f, std::u16string(u"Notes\0*.txt\0\0", 13));
    EXPECT_TRUE(dialogs::filter_buffer({}).empty());
    EXPECT_EQ(dialogs::default_filters().size(), 4u);

    const char16_t one[] = u"C:\\dir\\a.txt\0\0";
    auto paths = dialogs::split_selection(one, sizeof one / 2);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], u"C:\\dir\\a.txt");
    const char16_t three[] = u"C:\\dir\0a\0b\0c\0\0";
    paths = dialogs::split_selection(three, sizeof three / 2);
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[2], u"C:\\dir\\c");

    EXPECT_EQ(dialogs::qor_path("C:\\work\\notes.txt"), "/c/work/notes.txt");
    EXPECT_EQ(dialogs::qor_path("d:\\"), "/d/");
    EXPECT_EQ(dialogs::qor_path("\\\\host\\share\\x"), "/host/share/x");
    EXPECT_EQ(dialogs::utf8(dialogs::utf16("é😀")), "é😀");
}

TEST_F(GuiControlsTest, StyleRunsAreCutAndCountedInUtf16) {
    Cell text = eval("rejoin [\"a\" #\"^(1F600)\" \"bcd\"]");
    gc::CellRoot keep(&text);
    std::vector<uint32_t> cps = rich_text::code_points(&text);
    ASSERT_EQ(cps.size(), 5u);
    Cell data = eval(R"([3x2 bold 255.0.0 4x10 italic backdrop 0.0.255.128 12 "Arial" 9x1 underline 1x2 strike])");
    gc::CellRoot keep_data(&data);
    std::vector<StyleRun> runs = rich_text::style_runs(&data, cps);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].start, 3u);   // after "a" and the two units of the emoji
    EXPECT_EQ(runs[0].length, 2u);
    EXPECT_TRUE(runs[0].bold);
    EXPECT_EQ(runs[0].color, 0x0000FFu);
    EXPECT_EQ(runs[1].start, 4u);
    EXPECT_EQ(runs[1].length, 2u);  // cut at the text's end
    EXPECT_TRUE(runs[1].has_backdrop);
    EXPECT_EQ(runs[1].backdrop_alpha, 128u);
    EXPECT_EQ(runs[1].size, 12.0);
    EXPECT_EQ(runs[1].font, "Arial");
    EXPECT_EQ(runs[2].start, 0u);   // 9x1 lies past the text and is dropped
    EXPECT_EQ(runs[2].length, 3u);
    EXPECT_TRUE(runs[2].strike);
    EXPECT_EQ(rich_text::character_index(cps, 3), 2u);
}

}  // namespace
