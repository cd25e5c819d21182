#include "runtime/checksum.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ChecksumCase {
    std::string input;
    uint32_t crc32, adler32, tcp;
};

// Expected values from zlib's crc32/adler32 and a direct RFC 1071 sum.
const ChecksumCase CASES[] = {
    {"", 0x00000000u, 0x00000001u, 0xFFFF},
    {"a", 0xE8B7BE43u, 0x00620062u, 0x9EFF},
    {"abc", 0x352441C2u, 0x024D0127u, 0x3B9D},
    {"123456789", 0xCBF43926u, 0x091E01DEu, 0xF62A},
    {"Wikipedia", 0xADAAC02Eu, 0x11E60398u, 0x075E},
    {std::string("\x01", 1), 0xA505DF1Bu, 0x00020002u, 0xFEFF},   // odd byte is the high byte
    {std::string("\x00\x01\xF2\x03\xF4\xF5\xF6\xF7", 8), 0x079B0750u, 0x0F5C04CDu, 0x220D},
    {"The quick brown fox jumps over the lazy dog", 0x414FA339u, 0x5BDC0FDAu, 0x72A4},
};

TEST(Checksum, KnownValues) {
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(qor::crc32::compute(c.input.data(), c.input.size()), c.crc32);
        EXPECT_EQ(qor::adler32::compute(c.input.data(), c.input.size()), c.adler32);
        EXPECT_EQ(qor::tcp::checksum(c.input.data(), c.input.size()), c.tcp);
    }
}

// Long inputs cross the Adler-32 reduction blocks and would overflow a
// 32-bit Internet-checksum accumulator (1 MiB of 0xFF sums to 2^19 * 0xFFFF).
TEST(Checksum, LongInputs) {
    std::vector<uint8_t> ones(1u << 20, 0xFF);
    EXPECT_EQ(qor::crc32::compute(ones.data(), ones.size()), 0x956BAC74u);
    EXPECT_EQ(qor::adler32::compute(ones.data(), ones.size()), 0x8E88EF11u);
    EXPECT_EQ(qor::tcp::checksum(ones.data(), ones.size()), 0x0000u);

    std::vector<uint8_t> pattern(1000003);
    for (size_t i = 0; i < pattern.size(); i++) pattern[i] = uint8_t(i * 7 + 3);
    EXPECT_EQ(qor::crc32::compute(pattern.data(), pattern.size()), 0x095D6E8Au);
    EXPECT_EQ(qor::adler32::compute(pattern.data(), pattern.size()), 0x5B58F036u);
    EXPECT_EQ(qor::tcp::checksum(pattern.data(), pattern.size()), 0x2979u);
}

// Continuing a checksum over the rest of the input gives the one-shot value,
// wherever the input is split.
TEST(Checksum, UpdateContinuesAcrossSplits) {
    std::vector<uint8_t> data(10000);
    for (size_t i = 0; i < data.size(); i++) data[i] = uint8_t((i * 2654435761u) >> 13);
    const uint32_t crc = qor::crc32::compute(data.data(), data.size());
    const uint32_t adler = qor::adler32::compute(data.data(), data.size());
    for (size_t split : {size_t(0), size_t(1), size_t(15), size_t(3854), size_t(3855), size_t(9999),
                         size_t(10000)}) {
        SCOPED_TRACE(split);
        EXPECT_EQ(qor::crc32::update(qor::crc32::compute(data.data(), split), data.data() + split,
                                     data.size() - split),
                  crc);
        EXPECT_EQ(qor::adler32::update(qor::adler32::compute(data.data(), split), data.data() + split,
                                       data.size() - split),
                  adler);
    }
}

}  // namespace
