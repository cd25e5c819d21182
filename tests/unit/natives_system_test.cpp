// The output, memory, time, environment, process, compression and lexer
// natives.
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "natives_system_fixture.hpp"
#include "runtime/collector.hpp"

namespace qor::test {
namespace {

class SystemNativesTest : public SystemNativesFixture {};

TEST_F(SystemNativesTest, PrintFormsThroughTheValueHooks) {
    struct Row {
        const char* text;
        const char* printed;
    };
    const Row rows[] = {
        {R"(prin "a" print "b")", "ab|"},
        {"print 42", "42|"},
        {R"(print [1 "x" 2 + 3])", "1 x 5|"},
        {R"(x: 7 prin [x "y"])", "7 y"},
        {"print []", "|"},
        {R"(print "")", "|"},
        {R"(prin "é€")", "é€"},
        // A print inside the reduction of another keeps the outer values.
        {R"(f: func [] [print ["in" 1] "x"] print ["a" f "b"])", "in 1|a x b|"},
    };
    for (const Row& r : rows) {
        printed().clear();
        EXPECT_EQ(run_mold(r.text), "unset") << r.text;
        EXPECT_EQ(printed(), r.printed) << r.text;
    }
    // A block is reduced into the shared scratch block, which is left empty.
    ASSERT_NE(natives::print_block(), nullptr);
    EXPECT_EQ(block::remaining_length(natives::print_block()), 0u);
}

TEST_F(SystemNativesTest, PrintErrorEmptiesTheScratchBlock) {
    printed().clear();
    EXPECT_EQ(run_error(R"(print ["a" no-such-word])").id, "no-value");
    EXPECT_EQ(printed(), "");
    EXPECT_EQ(block::remaining_length(natives::print_block()), 0u);
    // The next print is not disturbed.
    run(R"(print ["b" 1])");
    EXPECT_EQ(printed(), "b 1|");
}

TEST_F(SystemNativesTest, PrintWithoutHooksWritesToTheConsole) {
    output_hooks::remove(record_value, nullptr);
    run(R"(prin "a" print ["b" 1] prin "é" print "€𝄞")");   // one, two and four bytes a character
    output_hooks::add(record_value, nullptr);
    EXPECT_EQ(console_text(), "ab 1\né€𝄞\n");
    EXPECT_EQ(printed(), "");
}

TEST_F(SystemNativesTest, StatsAndRecycle) {
    Cell in_use = run("stats");
    ASSERT_EQ(type_of(&in_use), TYPE_INTEGER);
    EXPECT_GT(integer::get_value(&in_use), 0);

    Cell info = run("stats/info");
    ASSERT_EQ(type_of(&info), TYPE_BLOCK);
    ASSERT_EQ(block::remaining_length(&info), 5u);   // nodes, series, big frames, OS total, heap total
    Cell* items = block::tail_pointer(&info) - 5;
    EXPECT_EQ(type_of(&items[0]), TYPE_BLOCK);
    EXPECT_EQ(type_of(&items[1]), TYPE_BLOCK);
    EXPECT_EQ(type_of(&items[2]), TYPE_BLOCK);

    // /show runs the library's report.
    EXPECT_EQ(run_error("unset 'show-memory-stats stats/show").id, "no-value");
    run(R"(show-memory-stats: func [data] [print length? data])");
    printed().clear();
    in_use = run("stats/show");
    EXPECT_EQ(type_of(&in_use), TYPE_INTEGER);
    EXPECT_EQ(printed(), "5|");   // the report is given the /info figures

    bool saved = gc::collection_enabled;
    EXPECT_EQ(run_mold("recycle/off"), "unset");
    EXPECT_FALSE(gc::collection_enabled);
    uint32_t cycles = gc::counters.series_cycles;
    Cell after = run("recycle");   // a full collection runs even while switched off
    EXPECT_EQ(type_of(&after), TYPE_INTEGER);
    EXPECT_GT(gc::counters.series_cycles, cycles);
    EXPECT_FALSE(gc::collection_enabled);
    EXPECT_EQ(run_mold("recycle/on"), "unset");
    EXPECT_TRUE(gc::collection_enabled);
    gc::collection_enabled = saved;
}

int g_pumped = 0;
void count_pump() { g_pumped++; }

TEST_F(SystemNativesTest, Wait) {
    natives::set_event_pump(count_pump);
    g_pumped = 0;
    expect_cases({
        {"wait 0", "none"},
        {"wait 0.001", "none"},
        {"wait 0:00:00.001", "none"},
        {"wait -1", "none"},
        {"wait []", "error script/invalid-arg"},
        {"wait none", "error script/invalid-arg"},
    });
    EXPECT_EQ(g_pumped, 4);   // pending messages run after every wait, wait 0 included
    bind_value("pct", float_::make(0.5, TYPE_PERCENT));
    EXPECT_EQ(run_mold("wait pct"), "error script/invalid-arg");
    natives::set_event_pump(nullptr);
}

TEST_F(SystemNativesTest, NowComponents) {
    std::time_t t = std::time(nullptr);
    std::tm utc = *std::gmtime(&t);
    auto value = [&](const char* text) {
        Cell v = run(text);
        EXPECT_EQ(type_of(&v), TYPE_INTEGER) << text;
        return integer::get_value(&v);
    };
    if (utc.tm_hour == 23 && utc.tm_min == 59) GTEST_SKIP() << "too close to midnight";
    EXPECT_EQ(value("now/year/utc"), utc.tm_year + 1900);
    EXPECT_EQ(value("now/month/utc"), utc.tm_mon + 1);
    EXPECT_EQ(value("now/day/utc"), utc.tm_mday);
    EXPECT_EQ(value("now/weekday/utc"), utc.tm_wday == 0 ? 7 : utc.tm_wday);
    EXPECT_EQ(value("now/yearday/utc"), utc.tm_yday + 1);
    EXPECT_EQ(run_mold("now/zone/utc"), "0:00:00");

    Cell tm = run("now/time/utc");
    ASSERT_EQ(type_of(&tm), TYPE_TIME);
    double expected = utc.tm_hour * 3600.0 + utc.tm_min * 60.0 + utc.tm_sec;
    EXPECT_NEAR(cell_float(&tm), expected, 3.0);
    EXPECT_EQ(cell_float(&tm), double(int64_t(cell_float(&tm))));   // whole seconds without /precise

    // Local time is universal time moved by the zone.
    Cell zone = run("now/zone");
    ASSERT_EQ(type_of(&zone), TYPE_TIME);
    Cell local = run("now/time");
    double shifted = std::fmod(cell_float(&tm) + cell_float(&zone) + 86400.0, 86400.0);
    double diff = std::fabs(cell_float(&local) - shifted);
    EXPECT_TRUE(diff < 3.0 || diff > 86397.0);

    Cell precise = run("now/time/precise");
    EXPECT_EQ(type_of(&precise), TYPE_TIME);
}

TEST_F(SystemNativesTest, NowRefinementRules) {
    expect_cases({
        {"now/year/month", "error script/bad-refines"},
        {"now/time/zone", "error script/bad-refines"},
        {"now/date/precise", "error script/bad-refines"},
        {"now/weekday/yearday/utc", "error script/bad-refines"},
    });
    for (const char* text : {"now", "now/date", "now/precise", "now/utc"}) {
        Cell d = run(text);
        EXPECT_EQ(type_of(&d), TYPE_DATE) << text;
    }
    Cell t = run("now/time/precise/utc");
    EXPECT_EQ(type_of(&t), TYPE_TIME);
}

TEST_F(SystemNativesTest, Environment) {
    expect_cases({
        {R"(set-env "QOR_NATIVES_TEST" "abc")", R"("abc")"},
        {R"(get-env "QOR_NATIVES_TEST")", R"("abc")"},
        {"get-env 'QOR_NATIVES_TEST", R"("abc")"},
        {R"(set-env 'QOR_NATIVES_TEST "é€ x")", R"("é€ x")"},
        {R"(get-env "QOR_NATIVES_TEST")", R"("é€ x")"},
        {R"(set-env "QOR_NATIVES_TEST" none)", "none"},
        {R"(get-env "QOR_NATIVES_TEST")", "none"},
        {R"(get-env "NO-SUCH-VAR")", "none"},
        {"type?/word list-env", "map!"},
    });
    // A value longer than any first guess.
    std::string long_value(3000, 'v');
    run("set-env \"QOR_NATIVES_TEST\" \"" + long_value + "\"");
    Cell got = run(R"(get-env "QOR_NATIVES_TEST")");
    EXPECT_EQ(string::to_utf8(&got), long_value);
    run(R"(set-env "QOR_NATIVES_TEST" none)");
}

TEST_F(SystemNativesTest, ProcessesAndCompression) {
    expect_cases({
        {R"(call "")", "0"},
        {R"(call/wait/output "" "")", "0"},
        // Not a program: run through the shell, whose exit code it is.
        {R"(call/wait "exit 0")", "0"},
        {R"(call/console "exit 0")", "error internal/not-done"},
        {R"(compress "abc" 'lzma)", "error script/invalid-arg"},
    });
    struct Packed {
        const char* code;
        const char* hex;
    } packed[] = {
        {R"(compress "abc" 'Deflate)", "4B4C4A0600"},
        {R"(compress "abc" 'zlib)", "78014B4C4A0600024D0127"},
        {R"(compress "abc" 'ZLIB)", "78014B4C4A0600024D0127"},
        {R"(compress "abc" 'gzip)", "1F8B08000000000004044B4C4A0600C241243503000000"},
        {R"(decompress compress "abc" 'gzip 'gzip)", "616263"},
        {R"(decompress/size compress "abc" 'zlib 'zlib 1)", "616263"},
    };
    for (const Packed& p : packed) EXPECT_EQ(hex_of(run(p.code)), p.hex) << p.code;
    bind_value("data", binary_from_hex("0102"));
    expect_cases({
        {"decompress data 'zlib", "error script/invalid-data"},
        {"decompress data 'lzma", "error script/invalid-arg"},
        {"decompress/size data 'gzip -1", "error script/invalid-arg"},
    });
#ifndef _WIN32
    // The native build opens nothing; the result is unset either way.
    EXPECT_EQ(run_mold("browse %x.txt"), "unset");
    EXPECT_EQ(run_mold("browse http://example.org"), "unset");
#endif
}

TEST_F(SystemNativesTest, Transcode) {
    expect_cases({
        {R"(transcode "1 [a] b")", "[1 [a] b]"},
        {R"(transcode "")", "[]"},
        {R"(transcode/one "42 x")", "42"},
        {R"(transcode/next "1 2")", R"([1 " 2"])"},
        {R"(transcode/scan "abc")", "word!"},
        {R"(transcode/prescan "12")", "integer!"},
        {R"(transcode/part "1 2 3" 3)", "[1 2]"},
        {R"(b: [x] transcode/into "1 2" b b)", "[x 1 2]"},
        {R"(transcode "[")", "error syntax/missing"},
    });
    bind_value("bin", binary_from_hex("3120322033"));   // "1 2 3"
    bind_value("other", binary_from_hex("33"));
    expect_cases({
        {"transcode bin", "[1 2 3]"},
        {"transcode/part bin 3", "[1 2]"},
        {"transcode/part bin other", "error script/not-same-type"},
    });
}

// Called from compiled code (check? true) the natives check their arguments
// against their specs.
TEST_F(SystemNativesTest, ArgumentChecksWithCheckFlag) {
    Cell text = string::from_utf8("x");
    gc::CellRoot keep(&text);
    Cell block = block::make(2);
    gc::CellRoot keep_block(&block);
    const Cell one = integer::make(1), yes{TYPE_LOGIC, 1, 0, 0};
    const Cell md5 = *word::make_from_c_string("md5");
    expect_arg_errors({
        {natives::wait_star, {text}, {-1}},
        {natives::set_env_star, {one, text}, {}},
        {natives::set_env_star, {text, one}, {}},
        {natives::get_env_star, {block}, {}},
        {natives::call_star, {block}, {-1, -1, -1, -1, -1, -1, -1}},
        {natives::call_star, {text, one}, {-1, -1, -1, -1, 1, -1, -1}},   // /input in
        {natives::browse_star, {text}, {}},
        {natives::compress_star, {one, text}, {}},
        {natives::decompress_star, {text, text}, {-1}},
        {natives::transcode_star, {block}, {-1, -1, -1, -1, -1, -1, -1}},
        {natives::transcode_star, {text, yes}, {-1, -1, -1, -1, 1, -1, -1}},   // /part length
        {natives::checksum_star, {block, text}, {-1}},
        {natives::checksum_star, {text, text}, {-1}},
        {natives::checksum_star, {text, md5, yes}, {2}},   // /with spec
    });
}

}  // namespace
}  // namespace qor::test
