// Text to float: the reader's shape rules, correct rounding on hard inputs
// and on the parse-number-fxx corpus, refusal of over-long texts.
#include "runtime/text_to_float.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace qor::float_text;

namespace {

uint64_t bits_of(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

uint64_t read_bits(const std::string& text, int32_t scale = 0, int32_t* rest = nullptr) {
    return bits_of(strtod(text.data(), text.data() + text.size(), scale, rest));
}

uint64_t read_bits_exact(const std::string& text) {
    return bits_of(detail::strtod_exact(text.data(), text.data() + text.size(), 0, nullptr));
}

// The exact decimal text of (2m + 1) * 2^(e - 1), the point half-way
// between m * 2^e and the next double up.  Plain schoolbook arithmetic in
// base 10^9, independent of the code under test.
std::string halfway_text(uint64_t bits) {
    uint64_t m = bits & ((uint64_t(1) << 52) - 1);
    int32_t e = -1074;
    if (bits >> 52) {
        m |= uint64_t(1) << 52;
        e = int32_t(bits >> 52) - 1075;
    }
    int32_t p2 = e - 1;
    std::vector<uint32_t> limbs;   // least significant first, base 10^9
    uint64_t h = 2 * m + 1;
    while (h) {
        limbs.push_back(uint32_t(h % 1000000000u));
        h /= 1000000000u;
    }
    auto mul = [&](uint32_t f) {
        uint64_t carry = 0;
        for (uint32_t& l : limbs) {
            uint64_t t = uint64_t(l) * f + carry;
            l = uint32_t(t % 1000000000u);
            carry = t / 1000000000u;
        }
        while (carry) {
            limbs.push_back(uint32_t(carry % 1000000000u));
            carry /= 1000000000u;
        }
    };
    // 2^-k = 5^k / 10^k: multiply by 5 k times and put the point k places in.
    const int32_t fraction = p2 < 0 ? -p2 : 0;
    for (int32_t i = 0; i < (p2 < 0 ? -p2 : p2); ++i) mul(p2 < 0 ? 5 : 2);
    std::string s = std::to_string(limbs.back());
    for (size_t i = limbs.size() - 1; i-- > 0;) {
        char buf[10];
        std::snprintf(buf, sizeof buf, "%09u", limbs[i]);
        s += buf;
    }
    if (fraction == 0) return s;
    if (s.size() <= size_t(fraction)) s.insert(0, size_t(fraction) + 1 - s.size(), '0');
    s.insert(s.size() - size_t(fraction), ".");
    return s;
}

std::string test_data_dir() { return QOR_TEST_DATA; }

}  // namespace

TEST(TextToFloat, ReadsTable) {
    const uint64_t inf = 0x7FF0000000000000ull;
    struct Case {
        const char* text;
        int32_t scale;
        uint64_t bits;
    } cases[] = {
        {"0.1", 0, 0x3FB999999999999Aull},
        {"1", 0, 0x3FF0000000000000ull},
        {"+1.5", 0, 0x3FF8000000000000ull},
        {"-2.5", 0, 0xC004000000000000ull},
        {".5", 0, 0x3FE0000000000000ull},
        {"5.", 0, 0x4014000000000000ull},
        {"0001200", 0, 0x4092C00000000000ull},
        {"1200.000", 0, 0x4092C00000000000ull},
        {"0.000012e5", 0, 0x3FF3333333333333ull},
        {"1E2", 0, 0x4059000000000000ull},
        {"1e+2", 0, 0x4059000000000000ull},
        {"50", -2, 0x3FE0000000000000ull},                       // the percent scale
        {"2.2250738585072011e-308", 0, 0x000FFFFFFFFFFFFFull},  // largest subnormal
        {"2.2250738585072014e-308", 0, 0x0010000000000000ull},  // smallest normal
        {"4.9406564584124654e-324", 0, 0x0000000000000001ull},
        {"2.4703282292062328e-324", 0, 0x0000000000000001ull},  // just above half of it
        {"2.4703282292062327e-324", 0, 0},                       // just below: zero
        {"9007199254740993", 0, 0x4340000000000000ull},          // 2^53 + 1: tie to even
        {"9007199254740995", 0, 0x4340000000000002ull},          // tie to even, upward
        {"1.7976931348623157e308", 0, 0x7FEFFFFFFFFFFFFFull},
        {"1.7976931348623158e308", 0, 0x7FEFFFFFFFFFFFFFull},
        {"1.797693134862315807e308", 0, 0x7FEFFFFFFFFFFFFFull},   // just below the half-way point
        {"1.797693134862315808e308", 0, inf},                    // just past it
        {"1e309", 0, inf},
        {"-1e309", 0, inf | (uint64_t(1) << 63)},
        {"1e-400", 0, 0},
        {"-1e-400", 0, 0},                                       // underflow keeps no sign
        {"-0.0", 0, uint64_t(1) << 63},
        {"-0", 0, 0},                                            // a sign and zeros: +0.0
        {"-", 0, 0},
        {"", 0, 0},
        {"0e5", 0, 0},
        {"1e99999999999999999999", 0, inf},                      // saturates, never wraps
        {"1e4294967297", 0, inf},                                // would wrap to 1e1
        {"1e-2147483649", 0, 0},
        {"1e-9223372036854775808", 0, 0},
        {"0.0000000000000000000000000000000000000001e40", 0, 0x3FF0000000000000ull},
        {"1.#INF", 0, inf},
        {"-1.#INF", 0, inf | (uint64_t(1) << 63)},
        {"7.#inf", 0, inf},
        {"1.#NaN", 0, 0x7FF8000000000000ull},
        {"-1.#nan", 0, 0x7FF8000000000000ull},
    };
    for (const Case& c : cases) {
        int32_t rest = -1;
        EXPECT_EQ(read_bits(c.text, c.scale, &rest), c.bits) << '"' << c.text << '"';
        EXPECT_EQ(rest, 0) << '"' << c.text << '"';
        if (c.scale == 0) {
            EXPECT_EQ(read_bits_exact(c.text), c.bits) << '"' << c.text << "\" (exact)";
        }
    }
}

// Reading stops at the first byte that does not fit and reports what is
// left; no byte past the end is looked at.
TEST(TextToFloat, RestCountsWhatWasNotRead) {
    struct Case {
        const char* text;
        uint64_t bits;
        int32_t rest;
    } cases[] = {
        {"12abc", 0x4028000000000000ull, 3},
        {"1e", 0x3FF0000000000000ull, 1},       // "e" without digits stays unread
        {"1e+", 0x3FF0000000000000ull, 2},
        {"2e3x", 0x409F400000000000ull, 1},
        {"1.#", 0x3FF0000000000000ull, 1},      // no letter after "#"
        {"1.#Q", 0x3FF0000000000000ull, 2},
        {"0.#INF", 0, 4},                       // the forms need one nonzero digit
        {"12.#INF", 0x4028000000000000ull, 4},
        {"1.#INFINITY", 0x7FF0000000000000ull, 5},
        {"1.#Ix", 0x7FF0000000000000ull, 1},
        {"1.5 2", 0x3FF8000000000000ull, 2},
    };
    for (const Case& c : cases) {
        // Copy into a buffer of exactly the text's size, so that a read past
        // the end shows under the address sanitizer.
        const size_t n = std::strlen(c.text);
        std::vector<char> exact(c.text, c.text + n);
        int32_t rest = -1;
        const char* begin = exact.data();
        EXPECT_EQ(bits_of(strtod(begin, begin + n, 0, &rest)), c.bits) << '"' << c.text << '"';
        EXPECT_EQ(rest, c.rest) << '"' << c.text << '"';
    }
}

TEST(TextToFloat, RefusesOverlongTexts) {
    std::string longest = "0." + std::string(size_t(max_number_text) - 3, '0') + "5";
    int32_t rest = -1;
    EXPECT_EQ(read_bits(longest, 0, &rest), 0u);           // 5e-65534: underflows to zero
    EXPECT_EQ(rest, 0);
    const size_t zeros = size_t(max_number_text) - 8;   // "1", the zeros, "e-65528"
    longest = "1" + std::string(zeros, '0') + "e-" + std::to_string(zeros);
    ASSERT_EQ(longest.size(), size_t(max_number_text));
    EXPECT_EQ(read_bits(longest, 0, &rest), 0x3FF0000000000000ull);
    EXPECT_EQ(rest, 0);

    std::string over = "1" + std::string(size_t(max_number_text), '0');
    EXPECT_EQ(read_bits(over, 0, &rest), 0u);
    EXPECT_EQ(rest, int32_t(over.size()));
}

// Exact half-way points between neighbouring doubles, hundreds of digits
// long, go to the even neighbour; one unit more or less in the last digit,
// or a nonzero digit far behind, decides the other way.
TEST(TextToFloat, HalfwayPointsRoundToEven) {
    std::mt19937_64 rng(2024);
    std::vector<uint64_t> samples = {0, 1, 0x000FFFFFFFFFFFFEull, 0x000FFFFFFFFFFFFFull,
                                     0x0010000000000000ull, 0x3FEFFFFFFFFFFFFFull,
                                     0x4340000000000000ull, 0x7FEFFFFFFFFFFFFEull,
                                     0x7FEFFFFFFFFFFFFFull};
    for (int i = 0; i < 200; ++i) samples.push_back(rng() % 0x7FF0000000000000ull);
    for (uint64_t b : samples) {
        const std::string h = halfway_text(b);
        const bool integral = h.find('.') == std::string::npos;
        const std::string pointed = integral ? h + "." : h;   // ready for more digits
        const uint64_t even = (b & 1) ? b + 1 : b;
        EXPECT_EQ(read_bits(h), even) << h.size() << " digits, bits " << std::hex << b;
        EXPECT_EQ(read_bits_exact(h), even) << std::hex << b;
        EXPECT_EQ(read_bits(pointed + "000000000000000000000001"), b + 1) << std::hex << b;
        EXPECT_EQ(read_bits(pointed + std::string(1000, '0') + "1"), b + 1) << std::hex << b;
        EXPECT_EQ(read_bits(pointed + std::string(1000, '0')), even) << std::hex << b;
        // One unit less in the last digit (and, for an integer, 0.9 more).
        std::string below = h;
        for (size_t i = below.size(); i-- > 0;) {
            if (below[i] == '.') continue;
            if (below[i] != '0') {
                --below[i];
                break;
            }
            below[i] = '9';
        }
        if (integral) below += ".9";
        EXPECT_EQ(read_bits(below), b) << std::hex << b;
    }
}

// Random decimal texts of every length class against std::from_chars; the
// fast paths and the exact path must agree with it.
TEST(TextToFloat, MatchesFromCharsOnRandomTexts) {
    std::mt19937_64 rng(31337);
    for (int i = 0; i < 30000; ++i) {
        const int digits = std::vector<int>{1, 5, 15, 16, 17, 18, 19, 20, 25, 40, 120}[rng() % 11];
        std::string text = std::to_string(1 + rng() % 9);
        for (int d = 1; d < digits; ++d) text += char('0' + rng() % 10);
        if (rng() % 2) text.insert(1 + rng() % text.size(), ".");
        text += "e" + std::to_string(int(rng() % 680) - 345);
        double want = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), want);
        if (r.ec != std::errc()) continue;    // out of range: covered elsewhere
        ASSERT_EQ(read_bits(text), bits_of(want)) << text;
        if (i % 8 == 0) {
            ASSERT_EQ(read_bits_exact(text), bits_of(want)) << text << " (exact)";
        }
    }
}

// Every line of the corpus: "f16 f32 f64 text", the f64 column being the
// correctly rounded bits of the text.
TEST(TextToFloat, ParseNumberCorpus) {
    const std::filesystem::path dir =
        std::filesystem::path(test_data_dir()) / "parse-number-fxx" / "data";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    size_t lines = 0, files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".txt") continue;
        std::FILE* f = std::fopen(entry.path().string().c_str(), "rb");
        ASSERT_NE(f, nullptr) << entry.path();
        ++files;
        char line[4096];
        int failures = 0;
        while (std::fgets(line, sizeof line, f)) {
            size_t n = std::strlen(line);
            while (n && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
            if (n < 32) continue;
            ++lines;
            const uint64_t want = std::strtoull(line + 14, nullptr, 16);
            int32_t rest = -1;
            const uint64_t got = bits_of(strtod(line + 31, line + n, 0, &rest));
            const uint64_t got_exact = bits_of(detail::strtod_exact(line + 31, line + n, 0, nullptr));
            if ((got != want || got_exact != want || rest != 0) && failures++ < 10)
                ADD_FAILURE() << entry.path().filename() << ": " << (line + 31) << " gave " << std::hex
                              << got << " / " << got_exact << ", expected " << want;
        }
        std::fclose(f);
    }
    EXPECT_GT(files, 0u);
    EXPECT_GT(lines, 0u);
}
