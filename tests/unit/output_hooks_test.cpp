#include "runtime/console_output.hpp"
#include "runtime/output_hooks.hpp"

#include <gtest/gtest.h>

#include "tests/unit/capture_output.hpp"

#include <string>
#include <vector>

namespace {

using namespace qor;

std::vector<int> calls;
template <int N>
void text_hook(const void*, int32_t, int32_t) {
    calls.push_back(N);
}
template <int N>
void value_hook(const Cell*, bool) {
    calls.push_back(100 + N);
}

// Leaves the lists as it found them.
class OutputHooks : public testing::Test {
protected:
    void SetUp() override { calls.clear(); }
};

TEST_F(OutputHooks, ASixthHookGrowsTheListByFiveAndKeepsTheOrder) {
    output_hooks::init();
    output_hooks::ListInfo before = output_hooks::text_list();
    EXPECT_EQ(before.count, 0);
    EXPECT_EQ(before.capacity, 5);
    output_hooks::TextHook hooks[] = {text_hook<1>, text_hook<2>, text_hook<3>,
                                      text_hook<4>, text_hook<5>, text_hook<6>};
    for (auto h : hooks) output_hooks::add(nullptr, h);
    output_hooks::ListInfo after = output_hooks::text_list();
    EXPECT_EQ(after.count, 6);
    EXPECT_EQ(after.capacity, 10);
    output_hooks::fire("x", 1, 0);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    for (auto h : hooks) output_hooks::remove(nullptr, h);
    EXPECT_EQ(output_hooks::text_list().count, before.count);
}

TEST_F(OutputHooks, RemoveTakesOnlyTheFirstOccurrence) {
    output_hooks::add(value_hook<1>, nullptr);
    output_hooks::add(value_hook<2>, nullptr);
    output_hooks::add(value_hook<1>, nullptr);
    output_hooks::remove(value_hook<1>, nullptr);
    Cell s{TYPE_STRING, 0, 0, 0};
    output_hooks::fire_value(&s, true);
    EXPECT_EQ(calls, (std::vector<int>{102, 101}));
    output_hooks::remove(value_hook<2>, nullptr);
    output_hooks::remove(value_hook<1>, nullptr);
    output_hooks::remove(value_hook<1>, nullptr);   // absent: nothing happens
}

TEST_F(OutputHooks, NullRegistersOnlyTheOther) {
    output_hooks::ListInfo values = output_hooks::value_list(), texts = output_hooks::text_list();
    output_hooks::add(value_hook<3>, nullptr);
    EXPECT_EQ(output_hooks::value_list().count, values.count + 1);
    EXPECT_EQ(output_hooks::text_list().count, texts.count);
    output_hooks::add(nullptr, text_hook<3>);
    EXPECT_EQ(output_hooks::text_list().count, texts.count + 1);
    output_hooks::remove(value_hook<3>, text_hook<3>);
    EXPECT_EQ(output_hooks::value_list().count, values.count);
    EXPECT_EQ(output_hooks::text_list().count, texts.count);
}

std::string hooked;
void collect(const void* text, int32_t length, int32_t unit) {
    EXPECT_EQ(unit, 0);
    hooked.append(static_cast<const char*>(text), size_t(length));
}

// Prints through the low-level printer and answers what reached standard
// output and what reached the text hooks.
template <class F>
std::pair<std::string, std::string> printed(F f) {
    hooked.clear();
    output_hooks::add(nullptr, collect);
    std::string out = test::captured_stdout(f);
    output_hooks::remove(nullptr, collect);
    return {out, hooked};
}

TEST_F(OutputHooks, SpacedPrinterSkipsTheSpaceAfterABlank) {
    using namespace system_print;
    const TypedRecord records[] = {string("a"), string("b"), string("c\n"), string("d"),
                                   character('\t'), integer(-5), character('x'), logic(true)};
    auto [out, hooks] = printed([&] { print_records(8, records, true); });
    EXPECT_EQ(out, "a b c\nd \t-5 x true");
    EXPECT_EQ(hooks, out);
}

TEST_F(OutputHooks, RecordsPrintByTheirTag) {
    using namespace system_print;
    const TypedRecord records[] = {logic(false), string("|"), integer(INT32_MIN), string("|"),
                                   float64(0.1),  string("|"), float32(0.1f),      string("|"),
                                   float64(1e-5), string("|"), hex(0xBEEF),        string("|"),
                                   TypedRecord{99, 0xDEADBEEF, 0}};
    auto [out, hooks] = printed([&] { prin(13, records); });
    EXPECT_EQ(out, "false|-2147483648|0.1|0.1|1e-05|0000BEEF|DEADBEEF");
    auto line = printed([&] { print_line(1, records); });
    EXPECT_EQ(line.first, "false\r\n");
    EXPECT_EQ(line.second, "false\n");
}

TEST_F(OutputHooks, SmallPrinters) {
    auto [out, hooks] = printed([] {
        system_print::print_cstring("abcdef", 3);
        system_print::print_cstring("xy", 10);
        system_print::print_byte('!');
    });
    EXPECT_EQ(out, "abcxy!");

    const struct {
        uint8_t byte;
        const char* form;
    } forms[] = {{0, "#\"^@\""},  {9, "#\"^-\""},  {10, "#\"^/\""},    {27, "#\"^]\""},
                 {1, "#\"^A\""},  {31, "#\"^_\""}, {'a', "#\"a\""},    {127, "#\"\x7F\""},
                 {128, "#\"^(80)\""}, {255, "#\"^(FF)\""}};
    for (const auto& f : forms) {
        EXPECT_EQ(printed([&] { system_print::print_char_form(f.byte); }).first, f.form) << int(f.byte);
    }
    EXPECT_STREQ(build_stamp(), "19-Nov-2026/12:27:11");
}

}  // namespace
