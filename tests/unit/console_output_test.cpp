#include "runtime/console_output.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/raw_utf.hpp"

#include <gtest/gtest.h>

#include "tests/unit/capture_output.hpp"

#include <string>
#include <vector>

namespace {

using namespace qor;
using console::EscapeAction;
using console::EscapeOp;

// --- Parsing -----------------------------------------------------------------

std::vector<EscapeAction> parsed;
void keep(void*, const EscapeAction& a) { parsed.push_back(a); }

// The same ASCII text in units of 1, 2 or 4 bytes.
std::string in_unit(const std::string& ascii, int unit) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out.append(size_t(unit - 1), '\0');
    }
    return out;
}

TEST(ConsoleEscape, ParsesSequencesIntoActions) {
    const struct {
        const char* text;
        size_t consumed;
        std::vector<EscapeAction> actions;
    } cases[] = {
        {"\x1b[2J", 4, {{EscapeOp::ERASE, 2, 0}}},
        {"\x1b[1J", 4, {{EscapeOp::ERASE, 1, 0}}},
        {"\x1b[J", 3, {{EscapeOp::ERASE, 0, 0}}},
        {"\x1b[K", 3, {{EscapeOp::ERASE, 4, 0}}},
        {"\x1b[1K", 4, {{EscapeOp::ERASE, 5, 0}}},
        {"\x1b[2K", 4, {{EscapeOp::ERASE, 3, 0}}},
        {"\x1b[3J", 4, {}},                                   // no such erase
        {"\x1b[31m", 5, {{EscapeOp::SGR, 31, 0}}},
        {"\x1b[0mtail", 4, {{EscapeOp::SGR, 0, 0}}},          // stops after the final character
        {"\x1b[1;31;44m", 10, {{EscapeOp::SGR, 1, 0}, {EscapeOp::SGR, 31, 0}, {EscapeOp::SGR, 44, 0}}},
        {"\x1b[1;31m", 7, {{EscapeOp::SGR, 1, 0}, {EscapeOp::SGR, 31, 0}}},
        {"\x1b[5;10H", 7, {{EscapeOp::MOVE_TO, 5, 10}}},
        {"\x1b[5;10f", 7, {{EscapeOp::MOVE_TO, 5, 10}}},
        {"\x1b[H", 3, {{EscapeOp::MOVE_TO, 0, 0}}},
        {"\x1b[;;f", 5, {{EscapeOp::MOVE_TO, 0, 0}}},
        {"\x1b[99A", 5, {{EscapeOp::CURSOR_UP, 99, 0}}},
        {"\x1b[3B", 4, {{EscapeOp::CURSOR_DOWN, 3, 0}}},
        {"\x1b[12C", 5, {{EscapeOp::CURSOR_RIGHT, 12, 0}}},
        {"\x1b[4D", 4, {{EscapeOp::CURSOR_LEFT, 4, 0}}},
        {"\x1b[s", 3, {{EscapeOp::SAVE_CURSOR, 0, 0}}},
        {"\x1b[u", 3, {{EscapeOp::RESTORE_CURSOR, 0, 0}}},
        {"\x1b[?", 3, {{EscapeOp::SCREEN_INFO, 0, 0}}},
        {"\x1b[70000m", 8, {{EscapeOp::SGR, 70000 % 65535, 0}}},   // kept modulo 65535
        {"\x1b[1;m", 5, {}},                                  // malformed: swallowed
        {"\x1b[5X", 4, {}},
        {"\x1b[A", 3, {}},
        {"\x1b[12", 4, {}},                                   // cut by the end of the text
        {"\x1b[1;2", 5, {}},
        {"\x1bX", 0, {}},                                     // not a sequence: ESC is printed
        {"\x1b", 0, {}},
    };
    for (int unit : {1, 2, 4}) {
        for (const auto& c : cases) {
            parsed.clear();
            std::string text = in_unit(c.text, unit);
            size_t consumed = console::parse_escape(text.data(), text.size() / size_t(unit), unit, keep, nullptr);
            EXPECT_EQ(consumed, c.consumed) << "unit " << unit << ": " << c.text + 1;
            EXPECT_EQ(parsed, c.actions) << "unit " << unit << ": " << c.text + 1;
        }
    }
}

TEST(ConsoleEscape, SgrAttributes) {
    const struct {
        uint16_t current;
        uint32_t parameter;
        uint16_t expected;
    } cases[] = {
        {0x07, 31, 0x04},   {0x0F, 31, 0x0C},   {0x1F, 30, 0x18},   {0x07, 37, 0x07},
        {0x07, 32, 0x02},   {0x8007, 31, 0x04},  // colour changes keep only the low byte
        {0x07, 44, 0x17},   {0xF7, 41, 0xC7},   {0x1F, 0, 0x07},    {0x07, 1, 0x8F},
        {0x07, 4, 0x8007},  {0x1E, 7, 0xE1},    {0x8012, 7, 0x8021}, {0x00, 39, 0x08},
        {0x00, 49, 0x80},   {0x07, 5, 0x07},    {0x07, 38, 0x07},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(console::sgr_apply(c.current, 0x07, c.parameter), c.expected)
            << std::hex << c.current << " SGR " << std::dec << c.parameter;
    }
}

TEST(ConsoleEscape, EraseRanges) {
    console::ScreenInfo s{};
    s.width = 10;
    s.height = 5;
    s.cursor_x = 3;
    s.cursor_y = 2;
    const struct {
        int kind;
        int32_t x, y;
        uint32_t count;
        bool moves;
        int32_t cx, cy;
    } cases[] = {
        {0, 0, 2, 30, false, 0, 0}, {1, 0, 0, 20, false, 0, 0}, {2, 0, 0, 50, true, 0, 0},
        {3, 0, 2, 10, true, 0, 2},  {4, 3, 2, 7, false, 0, 0},  {5, 0, 2, 4, true, 0, 2},
        {6, 0, 0, 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        console::EraseRange r = console::erase_range(c.kind, s);
        EXPECT_EQ(r.x, c.x) << c.kind;
        EXPECT_EQ(r.y, c.y) << c.kind;
        EXPECT_EQ(r.count, c.count) << c.kind;
        EXPECT_EQ(r.move_cursor, c.moves) << c.kind;
        if (c.moves) {
            EXPECT_EQ(r.cursor_x, c.cx) << c.kind;
            EXPECT_EQ(r.cursor_y, c.cy) << c.kind;
        }
    }
}

// --- A model console ---------------------------------------------------------

// Behaves as the Windows console does for what the writer uses: CR to column
// 0, LF to the start of the next line, wrapping, and positions outside the
// buffer refused.
struct Model {
    int32_t w = 20, h = 8, x = 0, y = 0;
    uint16_t attr = 0x1E;
    std::vector<char16_t> chars;
    std::vector<uint16_t> attrs;

    void reset() {
        x = y = 0;
        attr = 0x1E;
        chars.assign(size_t(w * h), u'.');
        attrs.assign(size_t(w * h), 0);
    }
    std::string row(int r) const {
        return raw_utf::utf16_to_utf8(std::u16string(chars.begin() + r * w, chars.begin() + (r + 1) * w));
    }
    uint16_t at(int col, int r) const { return attrs[size_t(r * w + col)]; }
};
Model model;

bool model_info(console::ScreenInfo* o) {
    *o = console::ScreenInfo{model.w, model.h, model.x, model.y, model.attr, 0, 0, model.w - 1, model.h - 1,
                             model.w, model.h};
    return true;
}
void model_write(const char16_t* units, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char16_t c = units[i];
        if (c == u'\r') {
            model.x = 0;
        } else if (c == u'\n') {
            model.x = 0;
            if (model.y < model.h - 1) ++model.y;
        } else {
            model.chars[size_t(model.y * model.w + model.x)] = c;
            model.attrs[size_t(model.y * model.w + model.x)] = model.attr;
            if (++model.x == model.w) {
                model.x = 0;
                if (model.y < model.h - 1) ++model.y;
            }
        }
    }
}
void model_set_cursor(int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= model.w || y >= model.h) return;
    model.x = x;
    model.y = y;
}
void model_set_attributes(uint16_t a) { model.attr = a; }
void model_fill(int32_t x, int32_t y, uint32_t count, uint16_t a) {
    for (uint32_t i = 0, at = uint32_t(y * model.w + x); i < count && at < model.chars.size(); ++i, ++at) {
        model.chars[at] = u' ';
        model.attrs[at] = a;
    }
}
const console::ScreenOps model_ops = {model_info, model_write, model_set_cursor, model_set_attributes, model_fill};

class ConsoleScreen : public testing::Test {
protected:
    void SetUp() override {
        model.w = 20;
        model.h = 8;
        model.reset();
        console::use_screen(&model_ops);   // its attributes become the defaults
    }
    void TearDown() override { console::use_screen(nullptr); }
    static void put(const std::string& s) { console::write(s.data(), s.size(), 1, false); }
};

TEST_F(ConsoleScreen, ColoursApplyAndResetRestoresTheStartAttributes) {
    put("ab\x1b[31mc\x1b[0md");
    EXPECT_EQ(model.row(0).substr(0, 5), "abcd.");
    EXPECT_EQ(model.at(0, 0), 0x1E);
    EXPECT_EQ(model.at(2, 0), 0x1C);   // foreground colour value 4
    EXPECT_EQ(model.at(3, 0), 0x1E);
    EXPECT_TRUE(console::is_console());
}

TEST_F(ConsoleScreen, EraseAndCursorMoves) {
    put("0123456789\r\nabcdefghij\r\nABCDEFGHIJ");
    put("\x1b[1;4H\x1b[K");   // row 1, column 4, then to the end of the line
    EXPECT_EQ(model.row(1), "abcd                ");
    EXPECT_EQ(model.row(0).substr(0, 10), "0123456789");
    put("\x1b[2J");
    for (int r = 0; r < model.h; ++r) EXPECT_EQ(model.row(r), std::string(20, ' ')) << r;
    EXPECT_EQ(model.x, 0);
    EXPECT_EQ(model.y, 0);
    EXPECT_EQ(model.at(5, 5), 0x1E);   // erased cells take the default attributes

    put("\x1b[5;10H");
    EXPECT_EQ(model.y, 5);
    EXPECT_EQ(model.x, 10);
    put("\x1b[99A");
    EXPECT_EQ(model.y, 0);
    put("\x1b[99B\x1b[99C");
    EXPECT_EQ(model.y, model.h - 1);
    EXPECT_EQ(model.x, model.w - 1);
    put("\x1b[3D\x1b[s\x1b[H\x1b[u");
    EXPECT_EQ(model.x, model.w - 4);
    EXPECT_EQ(model.y, model.h - 1);
    put("\x1b[99;99H");   // outside the buffer: the console refuses it
    EXPECT_EQ(model.x, model.w - 4);
}

TEST_F(ConsoleScreen, AnEscWithoutBracketIsPrinted) {
    put("a\x1bXb");
    EXPECT_EQ(model.chars[1], u'\x1b');
    EXPECT_EQ(model.row(0).substr(2, 2), "Xb");
    put("\x1b");   // at the very end
    EXPECT_EQ(model.chars[4], u'\x1b');
}

TEST_F(ConsoleScreen, WideTextAndLineEnds) {
    std::u16string ucs2 = u"\u00E9\u20AC\x1b[32mz";
    console::write_ucs2_line(ucs2.data(), ucs2.size() * 2);
    EXPECT_EQ(model.row(0).substr(0, 7), "\xC3\xA9\xE2\x82\xAC" "z.");
    EXPECT_EQ(model.at(2, 0), 0x1A);
    EXPECT_EQ(model.y, 1);
    EXPECT_EQ(model.x, 0);

    // UCS-4: surrogate pairs, and no escape interpretation.
    std::u32string ucs4 = U"\U0001F600\x1b[0m";
    console::write_ucs4_line(ucs4.data(), ucs4.size() * 4);
    EXPECT_EQ(model.chars[size_t(model.w)], char16_t(0xD83D));
    EXPECT_EQ(model.chars[size_t(model.w) + 1], char16_t(0xDE00));
    EXPECT_EQ(model.chars[size_t(model.w) + 2], u'\x1b');
    EXPECT_EQ(model.y, 2);

    // UTF-8 C strings are decoded for the console.
    console::print_cstring("\xC3\xA9!");
    EXPECT_EQ(model.row(2).substr(0, 3), "\xC3\xA9!");
}

// The writer hands the console 510 units at a time; nothing is lost or
// doubled at the seams.
TEST_F(ConsoleScreen, LongTextIsWrittenInPieces) {
    model.w = 100;
    model.reset();
    std::string text;
    for (int i = 0; i < 700; ++i) text += char('a' + i % 26);
    put(text);
    for (int i = 0; i < 700; ++i) ASSERT_EQ(model.chars[size_t(i)], char16_t('a' + i % 26)) << i;
    EXPECT_EQ(model.chars[700], u'.');
    EXPECT_EQ(model.y, 7);
    EXPECT_EQ(model.x, 0);
}

// --- Files and pipes ---------------------------------------------------------

std::string hooked;
void collect(const void* text, int32_t length, int32_t) { hooked.append(static_cast<const char*>(text), size_t(length)); }

TEST(ConsoleFile, Utf8WithCrLfAndEscapesUnchanged) {
    ASSERT_FALSE(console::is_console());
    hooked.clear();
    output_hooks::add(nullptr, collect);
    std::string out = test::captured_stdout([] {
        const std::string latin1 = "caf\xE9 \x1b[31mred\x1b[0m";
        console::write_latin1_line(latin1.data(), latin1.size());
        std::u16string ucs2 = {u'\u20AC', char16_t(0xD800), u'x'};
        console::write_ucs2(ucs2.data(), ucs2.size() * 2);
        std::u32string ucs4 = {U'\U0001F600', char32_t(0x110000)};
        console::write_ucs4_line(ucs4.data(), ucs4.size() * 4);
        console::print_integer(-12);
        console::print_hex(0xAB);
        console::print_hex_byte(7);
        console::print_float64(2.5);
        console::print_float32(0.1f);
        console::write("odd", 3, 2, false);   // a trailing half unit is ignored
        console::write("zz", 2, 3, false);    // no such unit: nothing
    });
    output_hooks::remove(nullptr, collect);
    EXPECT_EQ(out,
              "caf\xC3\xA9 \x1b[31mred\x1b[0m\r\n"
              "\xE2\x82\xAC\xEF\xBF\xBDx"
              "\xF0\x9F\x98\x80\xEF\xBF\xBD\r\n"
              "-12000000AB072.50.1\xE6\x91\xAF");
    EXPECT_EQ(hooked,
              "caf\xC3\xA9 \x1b[31mred\x1b[0m\n"
              "\xE2\x82\xAC\xEF\xBF\xBDx"
              "\xF0\x9F\x98\x80\xEF\xBF\xBD\n"
              "-12000000AB072.50.1\xE6\x91\xAF");
}

TEST(ConsoleFile, LongTextCrossesTheBufferBoundaryIntact) {
    std::u16string text;
    for (int i = 0; i < 1000; ++i) text += (i % 3 == 0) ? u'\u20AC' : u'a';
    std::string out = test::captured_stdout([&] { console::write_ucs2_line(text.data(), text.size() * 2); });
    EXPECT_EQ(out, raw_utf::utf16_to_utf8(text) + "\r\n");
}

// --- Display width -----------------------------------------------------------

TEST(DisplayWidth, ByCodePoint) {
    const struct {
        uint32_t cp;
        int width, cjk;
    } cases[] = {
        {0, 0, 0},         {'a', 1, 1},       {7, 1, 1},         {127, 1, 1},      {159, 1, 1},
        {0x0300, 0, 0},    {0x036F, 0, 0},    {0x0370, 1, 1},    {0x200B, 0, 0},   {0x00AD, 1, 2},
        {0x1100, 2, 2},    {0x115F, 2, 2},    {0x1160, 0, 0},    {0x4E00, 2, 2},   {0x9FFF, 2, 2},
        {0xFF01, 2, 2},    {0x1F600, 2, 2},   {0x20000, 2, 2},   {0x3FFFD, 2, 2},  {0xE0100, 0, 0},
        {0xE01EF, 0, 0},   {0x00A1, 1, 2},    {0x00E7, 1, 1},    {0x00E9, 1, 2},   {0x100000, 1, 2},
        {0x10FFFD, 1, 2},  {0x10FFFF, 1, 1},  {0x110000, 1, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chars::display_width(c.cp), c.width) << std::hex << c.cp;
        EXPECT_EQ(chars::display_width_cjk(c.cp), c.cjk) << std::hex << c.cp;
    }
}

TEST(DisplayWidth, RangeSearch) {
    const chars::Range r[] = {{10, 20}, {30, 30}, {40, 50}};
    for (uint32_t cp : {10u, 15u, 20u, 30u, 40u, 50u}) EXPECT_TRUE(chars::in_ranges(cp, r, 3)) << cp;
    for (uint32_t cp : {0u, 9u, 21u, 29u, 31u, 39u, 51u}) EXPECT_FALSE(chars::in_ranges(cp, r, 3)) << cp;
    EXPECT_FALSE(chars::in_ranges(10, r, 0));
}

}  // namespace
