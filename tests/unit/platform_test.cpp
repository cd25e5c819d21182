#include "runtime/barrier.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"
#include "runtime/throw.hpp"

#include <gtest/gtest.h>

#include "tests/unit/capture_output.hpp"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using namespace qor;

TEST(Platform, PagesAreZeroFilledAndWritable) {
    auto p = static_cast<unsigned char*>(platform::virtual_alloc(3 * 4096));
    for (size_t i = 0; i < 3 * 4096; i += 512) ASSERT_EQ(p[i], 0);
    p[3 * 4096 - 1] = 1;
    platform::virtual_free(p, 3 * 4096);
}

TEST(Platform, PageExhaustionThrowsTheOsCode) {
    try {
        platform::virtual_alloc(0xFFF00000u);
        FAIL() << "4 GB minus a megabyte were granted";
    } catch (const Thrown& t) {
        EXPECT_EQ(t.code, THROW_OS_ALLOC);
    }
}

TEST(Platform, FileTimeModuloWithoutDivision) {
    const uint64_t samples[] = {0,
                                9999,
                                10000,
                                (1ull << 30) - 1,
                                1ull << 30,
                                1ull << 47,
                                (1ull << 47) + (1ull << 30) + 12345,
                                133000000000000000ull,
                                0xFFFFFFFFFFFFFFFFull,
                                0x8000000000000000ull,
                                0x0123456789ABCDEFull};
    for (uint64_t t : samples) EXPECT_EQ(platform::filetime_mod_10000(t), uint32_t(t % 10000)) << t;
    // Every residue class stays right as the three parts carry into each other.
    for (uint64_t t = 0x7FFFFFFFFFFFull - 20000; t < 0x7FFFFFFFFFFFull + 20000; t += 7)
        ASSERT_EQ(platform::filetime_mod_10000(t), uint32_t(t % 10000)) << t;
}

TEST(Platform, TimeOfDayFromFileTime) {
    // 2024-01-02 03:04:05.678 9012 UTC.
    const uint64_t day = 864000000000ull;
    const uint64_t midnight = 133486272000000000ull;   // 2024-01-02 00:00 UTC
    ASSERT_EQ(midnight % day, 0u);
    const uint64_t t = midnight + (3 * 3600 + 4 * 60 + 5) * 10000000ull + 6789012;
    EXPECT_EQ(platform::time_of_day_from_filetime(t, false), 11045.0);
    EXPECT_NEAR(platform::time_of_day_from_filetime(t, true), 11045.6789012, 1e-9);
    EXPECT_EQ(platform::time_of_day_from_filetime(midnight - 1, false), 86399.0);

    double now = platform::time_of_day(true);
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 86400.0);
    EXPECT_EQ(platform::time_of_day(false), double(int(platform::time_of_day(false))));
}

TEST(Platform, ZoneBits) {
    const struct {
        int32_t minutes;
        uint32_t zone;
    } cases[] = {
        {0, 0},
        {-210, 0x40 | 3 << 2 | 2},   // UTC-03:30: sign, 3 hours, 2 quarters
        {-195, 0x40 | 3 << 2 | 1},   // UTC-03:15: one quarter, not three
        {-30, 0x40 | 0 << 2 | 2},    // west of UTC with no whole hour
        {60, 1 << 2},
        {330, 5 << 2 | 2},           // UTC+05:30
        {345, 5 << 2 | 3},           // UTC+05:45
        {-600, 0x40 | 10 << 2},
        {840, 14 << 2},              // UTC+14:00
        {-720, 0x40 | 12 << 2},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::zone_bits(c.minutes), c.zone) << c.minutes;
}

TEST(Platform, DatePacking) {
    EXPECT_EQ(platform::pack_date(2024, 2, 29, 0x4E), 2024u << 17 | 2u << 12 | 29u << 7 | 0x4E);
    uint32_t today = platform::date_today(true);
    EXPECT_GE(today >> 17, 2024u);
    uint32_t month = (today >> 12) & 15, day = (today >> 7) & 31;
    EXPECT_TRUE(month >= 1 && month <= 12) << month;
    EXPECT_TRUE(day >= 1 && day <= 31) << day;
    EXPECT_EQ(today & 0x7F, 0u);   // UTC has no zone
    uint32_t local = platform::date_today(false);
    EXPECT_GE(local >> 17, 2024u);
}

TEST(Platform, EnvironmentVariables) {
    const char16_t* name = u"QOR_FLOOR_TEST_VAR";
    ASSERT_NE(platform::set_env(name, u"v\u00E4lue \U0001F600"), 0);
    char16_t buf[32];
    // 8 units: v, a-umlaut, l, u, e, blank and a surrogate pair.
    ASSERT_EQ(platform::get_env(name, buf, 32), 8);
    EXPECT_EQ(std::u16string(buf), u"v\u00E4lue \U0001F600");
    char16_t small[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(platform::get_env(name, small, 4), 9);   // the size needed, NUL included
    EXPECT_EQ(platform::get_env(name, nullptr, 0), 9);
    ASSERT_NE(platform::set_env(name, nullptr), 0);
    EXPECT_EQ(platform::get_env(name, buf, 32), 0);
    EXPECT_EQ(platform::get_env(u"QOR_FLOOR_NO_SUCH_VARIABLE", buf, 32), 0);
}

TEST(Platform, CurrentDirectory) {
    namespace fs = std::filesystem;
    int32_t length = 0;
    char16_t* start = platform::get_current_dir(&length);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(size_t(length), std::char_traits<char16_t>::length(start));
    std::u16string before(start, size_t(length));
    heap::free(start);

    // Under the working directory (the build tree): a fresh wine prefix may
    // name a temporary folder that does not exist yet.
    fs::path dir = fs::absolute(fs::path(u"qor-floor-d\u00EFr"));
    fs::create_directories(dir);
    ASSERT_NE(platform::set_current_dir(dir.u16string().c_str()), 0);
    char16_t* now = platform::get_current_dir(&length);
    std::u16string inside(now, size_t(length));
    heap::free(now);
    EXPECT_NE(platform::set_current_dir(before.c_str()), 0);
    fs::remove(dir);
    EXPECT_NE(inside.find(u"qor-floor-d\u00EFr"), std::u16string::npos) << raw_utf::utf16_to_utf8(inside);
    EXPECT_EQ(platform::set_current_dir(u"/no/such/dir/for/qor"), 0);
}

uint32_t answer(void* argument) { return *static_cast<uint32_t*>(argument) + 1; }

std::atomic<bool> release{false};
uint32_t wait_for_release(void*) {
    while (!release) platform::thread_yield();
    return 5;
}

uint32_t throws(void*) { throw Thrown{THROW_ERROR}; }

TEST(Platform, Threads) {
    uint32_t input = 41, code = 0;
    platform::ThreadHandle t = platform::thread_start(answer, &input);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(platform::thread_wait(t, 0xFFFFFFFFu, &code), 1);
    EXPECT_EQ(code, 42u);
    EXPECT_NE(platform::thread_close(t), 0);

    release = false;
    t = platform::thread_start(wait_for_release, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(platform::thread_wait(t, 10, &code), 0);   // still running: time-out
    release = true;
    EXPECT_EQ(platform::thread_wait(t, 0xFFFFFFFFu, &code), 1);
    EXPECT_EQ(code, 5u);
    platform::thread_close(t);
    EXPECT_NE(platform::thread_id(), 0u);
}

void ignore_failure(const BarrierFailure&) {}

TEST(Platform, AThreadBodyThatThrowsStopsAtItsEntry) {
    BarrierHandler previous = set_barrier_handler(ignore_failure);
    uint32_t code = 0;
    platform::ThreadHandle t = platform::thread_start(throws, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(platform::thread_wait(t, 0xFFFFFFFFu, &code), 1);
    EXPECT_EQ(code, 0xFFFFFFFFu);
    platform::thread_close(t);
    set_barrier_handler(previous);
}

TEST(Platform, StandardStreams) {
    // Under the test runner standard output goes to a pipe or a file.
    bool redirected = false;
    std::string out = test::captured_stdout([&] {
        redirected = platform::is_redirected(platform::STD_OUT);
        EXPECT_TRUE(platform::write_std(platform::STD_OUT, "xyz\r\n", 5));
    });
    EXPECT_TRUE(redirected);
    EXPECT_EQ(out, "xyz\r\n");
}

}  // namespace
