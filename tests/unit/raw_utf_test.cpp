#include "runtime/raw_utf.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace qor::raw_utf;

// Decoding: each row is bytes -> the code points read one after another.
TEST(RawUtf, DecodesValidAndRejectsMalformedUtf8) {
    struct Case {
        std::string bytes;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", {'a', 0xE9, 0x20AC, 0x1F600}},
        {"\xC0\x80", {REPLACEMENT, REPLACEMENT}},            // overlong: two stray bytes
        {"\xED\xA0\x80", {REPLACEMENT, REPLACEMENT, REPLACEMENT}},   // surrogate
        {"\xF4\x90\x80\x80", {REPLACEMENT, REPLACEMENT, REPLACEMENT, REPLACEMENT}},   // above U+10FFFF
        {"\xE2\x28\xA1", {REPLACEMENT, '(', REPLACEMENT}},   // bad continuation keeps the next byte
        {"\xE2\x82", {REPLACEMENT}},                          // cut by the end: never read past it
        {"\xF0\x9F\x98", {REPLACEMENT}},
        {"\x80x", {REPLACEMENT, 'x'}},
        {"\xFF", {REPLACEMENT}},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> got;
        auto s = reinterpret_cast<const unsigned char*>(c.bytes.data());
        for (size_t i = 0; i < c.bytes.size();) {
            size_t used = 0;
            got.push_back(decode_utf8(s + i, c.bytes.size() - i, &used));
            ASSERT_GE(used, 1u);
            i += used;
        }
        EXPECT_EQ(got, c.expected) << "input of " << c.bytes.size() << " bytes";
    }
}

TEST(RawUtf, RoundTripsBetweenUtf8AndUtf16) {
    const std::string text = "x\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const std::u16string wide = u"x\u00E9\u20AC\U0001F600";
    EXPECT_EQ(utf8_to_utf16(text), wide);
    EXPECT_EQ(utf16_to_utf8(wide), text);
}

TEST(RawUtf, LoneSurrogatesAndInvalidValuesBecomeReplacement) {
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xD83D))), "\xEF\xBF\xBD");
    EXPECT_EQ(utf16_to_utf8(std::u16string{char16_t(0xDE00), u'a'}), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(utf16_to_utf8(std::u16string{char16_t(0xD83D), u'a'}), "\xEF\xBF\xBD" "a");
    char bytes[4];
    EXPECT_EQ(encode_utf8(0x110000, bytes), 3u);
    EXPECT_EQ(std::string(bytes, 3), "\xEF\xBF\xBD");
    char16_t units[2];
    EXPECT_EQ(encode_utf16(0x10000, units), 2u);
    EXPECT_EQ(units[0], 0xD800);
    EXPECT_EQ(units[1], 0xDC00);
}

}  // namespace
