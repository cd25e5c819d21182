#include "runtime/lz_coder.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

namespace lz = qor::lz;
using Bytes = std::vector<uint8_t>;

// Decodes `stream` (all of it readable); nullopt-like: {false, {}} on null.
struct Decoded {
    bool ok;
    Bytes bytes;
};

Decoded decode(const Bytes& stream, size_t available) {
    uint32_t size = 0xDEADBEEF;
    uint8_t* out = lz::decompress(stream.data(), available, &size);
    if (!out) return {false, {}};
    Decoded d{true, Bytes(out, out + size)};
    lz::free_buffer(out);
    return d;
}
Decoded decode(const Bytes& stream) { return decode(stream, stream.size()); }

Bytes encode(const Bytes& input) {
    size_t size = 0;
    uint8_t* s = lz::compress(input.data(), input.size(), &size);
    EXPECT_NE(s, nullptr);
    Bytes stream(s, s + size);
    lz::free_buffer(s);
    return stream;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Writes streams by hand, field by field, straight from the format.
class StreamBuilder {
public:
    void block(uint32_t length) {
        flush();
        word(length);
    }
    void bits(uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; i++) {
            if (value >> i & 1) acc_ |= 1u << count_;
            if (++count_ == 8) flush();
        }
    }
    void literal(uint8_t b) {
        bits(0, 1);
        bits(b, 8);
    }
    // Copies `count` bytes (3..566) from `back` bytes behind (1..2^18).
    void match(uint32_t count, uint32_t back) {
        bits(1, 1);
        const uint32_t n = count - 3;
        static const uint32_t base[6] = {0, 4, 8, 12, 20, 52};
        static const unsigned width[6] = {2, 2, 2, 3, 5, 9};
        unsigned cls = 5;
        while (cls > 0 && n < base[cls]) cls--;
        for (unsigned z = 0; z < cls; z++) bits(0, 1);   // the prefix's zeros
        if (cls < 5) bits(1, 1);
        bits(n - base[cls], width[cls]);
        const uint32_t d = back - 1;
        if (d < 8) {
            bits(0, 4);
            bits(d, 3);
        } else {
            unsigned k = 3;
            while (d >= (2u << k)) k++;
            bits(k - 2, 4);
            bits(d - (1u << k), k);
        }
    }
    void raw_byte(uint8_t b) {
        flush();
        body_.push_back(b);
    }
    Bytes finish(uint32_t decoded) {
        flush();
        Bytes s;
        put32(s, uint32_t(body_.size()));
        put32(s, decoded);
        s.insert(s.end(), body_.begin(), body_.end());
        return s;
    }

private:
    static void put32(Bytes& b, uint32_t v) {
        for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
    }
    void word(uint32_t v) { put32(body_, v); }
    void flush() {
        if (count_ > 0) body_.push_back(uint8_t(acc_));
        acc_ = 0;
        count_ = 0;
    }
    Bytes body_;
    uint32_t acc_ = 0;
    unsigned count_ = 0;
};

TEST(LzCoder, RoundTrips) {
    std::mt19937 gen(1111);
    std::vector<std::pair<std::string, Bytes>> inputs;
    inputs.push_back({"empty", {}});
    inputs.push_back({"one byte", text("a")});
    inputs.push_back({"short text", text("abracadabra abracadabra abracadabra")});
    inputs.push_back({"long run", Bytes(100000, 0)});
    Bytes noise(50000);
    for (auto& b : noise) b = uint8_t(gen());
    inputs.push_back({"noise", noise});
    // Three blocks (the last partial), words repeating at every distance
    // class, including the farthest one the window allows.
    Bytes mixed;
    const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "epsilon "};
    while (mixed.size() < 2 * lz::MAX_BLOCK + 300000) {
        if (gen() % 8 == 0) {
            for (int i = 0; i < 40; i++) mixed.push_back(uint8_t(gen()));
        } else {
            const char* w = words[gen() % 5];
            mixed.insert(mixed.end(), w, w + strlen(w));
        }
    }
    inputs.push_back({"mixed", mixed});
    Bytes far(lz::MAX_DISTANCE * 2 + 5000);
    for (size_t i = 0; i < lz::MAX_DISTANCE; i++) far[i] = uint8_t(gen());
    for (size_t i = lz::MAX_DISTANCE; i < far.size(); i++) far[i] = far[i - lz::MAX_DISTANCE];
    inputs.push_back({"repeat at the window's edge", far});

    for (const auto& [name, input] : inputs) {
        SCOPED_TRACE(name);
        const Bytes stream = encode(input);
        const Decoded d = decode(stream);
        ASSERT_TRUE(d.ok);
        EXPECT_TRUE(d.bytes == input);
    }
    // Repetition compresses.
    EXPECT_LT(encode(Bytes(100000, 0)).size(), 1000u);
    EXPECT_LT(encode(far).size(), far.size() * 6 / 10);
}

// Streams written by hand: every length class at its edges, every distance
// class, overlapping copies, and matches that reach into the previous block.
TEST(LzCoder, HandBuiltStreams) {
    {
        StreamBuilder s;
        EXPECT_TRUE(decode(s.finish(0)).ok && decode(s.finish(0)).bytes.empty())
            << "compressed size 0 decodes to nothing";
    }
    for (uint32_t count : {3u, 6u, 7u, 10u, 11u, 14u, 15u, 22u, 23u, 54u, 55u, 566u}) {
        SCOPED_TRACE(count);
        StreamBuilder s;
        s.block(count + 1);
        s.literal('x');
        s.match(count, 1);   // d = 0: repeats the byte just before
        const Decoded d = decode(s.finish(count + 1));
        ASSERT_TRUE(d.ok);
        EXPECT_TRUE(d.bytes == Bytes(count + 1, 'x'));
    }
    for (uint32_t back : {1u, 2u, 8u, 9u, 16u, 17u, 1000u, 65536u, 262143u, 262144u}) {
        SCOPED_TRACE(back);
        StreamBuilder s;
        Bytes expected;
        s.block(back + 5);
        for (uint32_t i = 0; i < back; i++) {
            const uint8_t b = uint8_t(i * 31 + i / 256);
            s.literal(b);
            expected.push_back(b);
        }
        s.match(5, back);
        for (int i = 0; i < 5; i++) expected.push_back(expected[expected.size() - back]);
        const Decoded d = decode(s.finish(back + 5));
        ASSERT_TRUE(d.ok);
        EXPECT_TRUE(d.bytes == expected);
    }
    {
        StreamBuilder s;
        s.block(3);
        for (char c : std::string("abc")) s.literal(uint8_t(c));
        s.block(4);
        s.match(4, 3);
        const Decoded d = decode(s.finish(7));
        ASSERT_TRUE(d.ok);
        EXPECT_TRUE(d.bytes == text("abcabca"));
    }
}

TEST(LzCoder, MalformedStreamsFail) {
    struct Case {
        const char* name;
        Bytes stream;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, auto build) {
        StreamBuilder s;
        cases.push_back({name, build(s)});
    };
    add("block of length 0", [](StreamBuilder& s) { s.block(0); return s.finish(0); });
    add("block above the limit", [](StreamBuilder& s) {
        s.block(lz::MAX_BLOCK + 1);
        for (int i = 0; i < 2400; i++) s.literal(0);   // enough bits to make the size plausible
        return s.finish(lz::MAX_BLOCK + 1);
    });
    add("match at position 0", [](StreamBuilder& s) { s.block(3); s.match(3, 1); return s.finish(3); });
    add("match before the output", [](StreamBuilder& s) {
        s.block(5); s.literal('a'); s.literal('b'); s.match(3, 3); return s.finish(5);
    });
    add("match past the block", [](StreamBuilder& s) {
        s.block(4); s.literal('a'); s.match(4, 1); return s.finish(5);
    });
    add("blocks beyond the decoded size", [](StreamBuilder& s) {
        s.block(2); s.literal('a'); s.literal('b'); return s.finish(1);
    });
    add("bits run out inside the block", [](StreamBuilder& s) {
        s.block(3); s.literal('a'); s.literal('b'); return s.finish(3);
    });
    add("stray bytes after the last block", [](StreamBuilder& s) {
        s.block(1); s.literal('a'); s.raw_byte(1); s.raw_byte(0); return s.finish(1);
    });
    add("decoded size beyond what the bits can hold", [](StreamBuilder& s) {
        s.block(1); s.literal('a'); return s.finish(0x40000000);
    });
    Bytes header_only = {0, 0, 0, 0, 0, 0, 0};   // seven bytes: no header
    cases.push_back({"short header", header_only});
    Bytes oversized = {20, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x61 << 1};
    cases.push_back({"compressed size beyond the input", oversized});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(decode(c.stream).ok);
    }
    EXPECT_EQ(lz::decompress(nullptr, 0), nullptr);
}

// Every truncation of a valid one-block stream fails, whether the reader
// is told the short length or the header still claims the full one; and
// random damage never makes the decoder step outside its buffers (the
// sanitizers watch this).
TEST(LzCoder, TruncatedAndDamagedInput) {
    std::mt19937 gen(77);
    Bytes input;
    for (int i = 0; i < 3000; i++) input.push_back(uint8_t("the cat sat on the mat "[i % 23] ^ (gen() % 16 == 0)));
    const Bytes stream = encode(input);
    for (size_t k = 0; k < stream.size(); k++) {
        SCOPED_TRACE(k);
        EXPECT_FALSE(decode(stream, k).ok);
        if (k >= lz::HEADER_SIZE) {
            Bytes cut(stream.begin(), stream.begin() + long(k));
            const uint32_t body = uint32_t(k - lz::HEADER_SIZE);
            for (int i = 0; i < 4; i++) cut[i] = uint8_t(body >> (8 * i));
            EXPECT_FALSE(decode(cut).ok);
        }
    }
    for (int round = 0; round < 3000; round++) {
        Bytes damaged = stream;
        const int flips = 1 + int(gen() % 6);
        for (int f = 0; f < flips; f++) damaged[gen() % damaged.size()] ^= uint8_t(1 + gen() % 255);
        const Decoded d = decode(damaged);
        if (d.ok) {
            uint32_t claimed = uint32_t(damaged[4]) | uint32_t(damaged[5]) << 8 |
                               uint32_t(damaged[6]) << 16 | uint32_t(damaged[7]) << 24;
            EXPECT_LE(d.bytes.size(), claimed);
        }
    }
}

}  // namespace
