// DEFLATE, zlib and gzip: the public corpus, round trips, and inflating
// damaged or hostile input safely.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "services/deflate.hpp"

namespace qor::test {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace qor::deflate;

Bytes read_data(const std::string& name) {
    std::ifstream in(std::string(QOR_TEST_DATA) + "/wuffs-deflate/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a routine as the natives do: measure with no room, then fill.
int32_t run(Routine routine, const Bytes& in, Bytes& out) {
    uint32_t size = 0;
    int32_t r = routine(nullptr, &size, in.data(), uint32_t(in.size()));
    if (r != RESULT_OK && r != RESULT_TOO_SMALL) return r;
    out.assign(size, 0);
    r = routine(out.data(), &size, in.data(), uint32_t(in.size()));
    if (r == RESULT_OK) out.resize(size);
    return r;
}

// Compressors need room to start: the natives give input + 32 bytes.
int32_t compress(Routine routine, const Bytes& in, Bytes& out) {
    uint32_t size = uint32_t(in.size()) + 32;
    out.assign(size, 0);
    int32_t r = routine(out.data(), &size, in.data(), uint32_t(in.size()));
    if (r == RESULT_TOO_SMALL) {
        out.assign(size, 0);
        r = routine(out.data(), &size, in.data(), uint32_t(in.size()));
    }
    if (r == RESULT_OK) out.resize(size);
    return r;
}

// Writes DEFLATE bits for hand-made streams.
struct Bits {
    Bytes bytes;
    uint64_t pending = 0;
    uint32_t pending_count = 0;
    void put(uint32_t value, uint32_t n) {
        pending |= uint64_t(value) << pending_count;
        pending_count += n;
        while (pending_count >= 8) {
            bytes.push_back(uint8_t(pending));
            pending >>= 8;
            pending_count -= 8;
        }
    }
    // The stream, its last byte padded with zero bits.
    const Bytes& done() {
        if (pending_count) bytes.push_back(uint8_t(pending));
        pending = 0;
        pending_count = 0;
        return bytes;
    }
    void code(uint32_t value, uint32_t n) {   // Huffman codes go most significant bit first
        for (uint32_t i = n; i-- > 0;) put((value >> i) & 1, 1);
    }
};

TEST(Deflate, CorpusStreamsInflateToTheirOriginals) {
    struct Case {
        const char* stream;
        const char* original;
        Routine routine;
    } cases[] = {
        {"romeo.txt.deflate", "romeo.txt", inflate},
        {"romeo.txt.fixed-huff.deflate", "romeo.txt", inflate},
        {"romeo.txt.zlib", "romeo.txt", zlib_decompress},
        {"romeo.txt.gz", "romeo.txt", gzip_decompress},
        {"midsummer.txt.zlib", "midsummer.txt", zlib_decompress},
        {"midsummer.txt.gz", "midsummer.txt", gzip_decompress},
        {"pi.txt.zlib", "pi.txt", zlib_decompress},
        {"pi.txt.gz", "pi.txt", gzip_decompress},
        {"256.bytes.gz", "256.bytes", gzip_decompress},
        {"DCI-P3-D65.icc.zlib", "DCI-P3-D65.icc", zlib_decompress},
        {"artificial-deflate/backref-crosses-blocks.deflate",
         "artificial-deflate/backref-crosses-blocks.deflate.decompressed", inflate},
        {"artificial-deflate/degenerate-huffman.deflate",
         "artificial-deflate/degenerate-huffman.deflate.decompressed", inflate},
        {"artificial-deflate/distance-32768.deflate", "artificial-deflate/distance-32768.deflate.decompressed",
         inflate},
        {"artificial-deflate/huffman-primlen-9.deflate",
         "artificial-deflate/huffman-primlen-9.deflate.decompressed", inflate},
    };
    for (const Case& c : cases) {
        Bytes out;
        EXPECT_EQ(run(c.routine, read_data(c.stream), out), RESULT_OK) << c.stream;
        EXPECT_EQ(out, read_data(c.original)) << c.stream;
    }
    Bytes out;
    EXPECT_EQ(run(inflate, read_data("artificial-deflate/distance-code-31.deflate"), out), RESULT_BAD_DATA);
}

TEST(Deflate, RoundTripsOverRandomDataAndTheCorpus) {
    std::mt19937 rng(12345);
    std::vector<Bytes> inputs = {{}, {'a'}, Bytes(70000, 'x'), read_data("pi.txt"), read_data("midsummer.txt"),
                                 read_data("256.bytes")};
    for (uint32_t size : {1u, 2u, 3u, 4u, 100u, 4095u, 65536u, 200000u}) {
        Bytes noise(size);
        for (auto& b : noise) b = uint8_t(rng());
        inputs.push_back(noise);
        Bytes text(size);   // few symbols: many matches
        for (auto& b : text) b = "abcab "[rng() % 6];
        inputs.push_back(text);
    }
    // Repeats 40,000 bytes apart lie beyond the window: literals, still exact.
    Bytes far(80000);
    for (uint32_t i = 0; i < 40000; i++) far[i] = far[i + 40000] = uint8_t(rng());
    inputs.push_back(far);
    struct Pair {
        Routine pack, unpack;
    } pairs[] = {{zlib_compress, zlib_decompress}, {deflate_compress, inflate}, {gzip_compress, gzip_decompress}};
    for (const Bytes& in : inputs) {
        for (const Pair& p : pairs) {
            Bytes packed, unpacked;
            ASSERT_EQ(compress(p.pack, in, packed), RESULT_OK);
            ASSERT_EQ(run(p.unpack, packed, unpacked), RESULT_OK) << in.size();
            EXPECT_EQ(unpacked, in) << in.size();
        }
    }
}

TEST(Deflate, FixedForms) {
    Bytes out;
    ASSERT_EQ(compress(deflate_compress, {}, out), RESULT_OK);
    EXPECT_EQ(out, (Bytes{0x03, 0x00}));   // only the end code
    ASSERT_EQ(compress(zlib_compress, {'a', 'b', 'c'}, out), RESULT_OK);
    EXPECT_EQ(out[0], 0x78);
    EXPECT_EQ(out[1], 0x01);
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{0x02, 0x4D, 0x01, 0x27}));   // Adler-32 of "abc"
    ASSERT_EQ(compress(gzip_compress, {'a', 'b', 'c'}, out), RESULT_OK);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 10), (Bytes{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4}));
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{3, 0, 0, 0}));
    // gzip data is not wrapped twice.
    Bytes again;
    ASSERT_EQ(compress(gzip_compress, out, again), RESULT_OK);
    EXPECT_EQ(again, out);
    // Too little room: the size needed comes back.
    Bytes in(1000, 'q');
    uint32_t size = 4;
    uint8_t small[4];
    EXPECT_EQ(deflate_compress(small, &size, in.data(), 1000), RESULT_TOO_SMALL);
    Bytes packed;
    ASSERT_EQ(compress(deflate_compress, in, packed), RESULT_OK);
    EXPECT_EQ(size, packed.size());
}

TEST(Deflate, GzipAndZlibHeaders) {
    Bytes gz = read_data("romeo.txt.gz"), out;
    ASSERT_EQ(gz[3] & 8, 8);   // the corpus member carries FNAME
    Bytes bad = gz;
    bad[3] |= 0x20;   // a reserved flag
    EXPECT_EQ(run(gzip_decompress, bad, out), RESULT_BAD_DATA);
    bad = gz;
    bad[3] = 8 | 2;   // FHCRC with a wrong header CRC
    size_t name_end = 10;
    while (gz[name_end] != 0) name_end++;
    bad.insert(bad.begin() + long(name_end + 1), {0x12, 0x34});
    EXPECT_EQ(run(gzip_decompress, bad, out), RESULT_BAD_DATA);
    for (size_t i : {gz.size() - 1, gz.size() - 5}) {   // ISIZE and CRC-32
        bad = gz;
        bad[i] ^= 1;
        EXPECT_NE(run(gzip_decompress, bad, out), RESULT_OK) << i;
    }
    // An ISIZE that no DEFLATE data of this length could reach is refused
    // before any room is asked for.
    bad = gz;
    bad[bad.size() - 1] = 0x7F;
    uint32_t size = 0;
    EXPECT_EQ(gzip_decompress(nullptr, &size, bad.data(), uint32_t(bad.size())), RESULT_BAD_DATA);

    Bytes z = read_data("romeo.txt.zlib");
    uint8_t with_dictionary = 0x20;   // FDICT, with the header check still valid
    while ((0x78 * 256 + with_dictionary) % 31) with_dictionary++;
    struct Damage {
        size_t at;
        uint8_t value;
    } damages[] = {{0, 0x79}, {0, 0x88}, {1, with_dictionary}, {z.size() - 1, uint8_t(z.back() ^ 1)}};
    for (const Damage& d : damages) {
        bad = z;
        if (d.at == 1) bad[0] = 0x78;
        bad[d.at] = d.value;
        EXPECT_EQ(run(zlib_decompress, bad, out), RESULT_BAD_DATA) << d.at;
    }
}

TEST(Deflate, HostileStreams) {
    Bytes out;
    // Block type 3.
    EXPECT_EQ(run(inflate, {0x07}, out), RESULT_BAD_BLOCK_TYPE);
    // A stored block longer than the input; one whose NLEN disagrees.
    EXPECT_EQ(run(inflate, {0x01, 0x10, 0x00, 0xEF, 0xFF, 'a'}, out), RESULT_STORED_TOO_LONG);
    EXPECT_EQ(run(inflate, {0x01, 0x01, 0x00, 0x00, 0x00, 'a'}, out), RESULT_BAD_DATA);
    // A distance reaching before the output: literal 'a', then length 3 at
    // distance 2.
    Bits far;
    far.put(1, 1);
    far.put(1, 2);
    far.code(0x30 + 'a', 8);
    far.code(1, 7);   // 257: length 3
    far.code(1, 5);   // distance 2
    far.code(0, 7);
    EXPECT_EQ(run(inflate, far.done(), out), RESULT_BAD_DISTANCE);
    // Oversubscribed code-length code: 19 codes of length 1.
    Bits over;
    over.put(1, 1);
    over.put(2, 2);
    over.put(0, 5);
    over.put(0, 5);
    over.put(15, 4);
    for (int i = 0; i < 19; i++) over.put(1, 3);
    over.put(0, 16);
    EXPECT_EQ(run(inflate, over.done(), out), RESULT_BAD_DATA);
    // A repeat code with nothing to repeat, and one running past the lengths.
    for (uint32_t symbol : {16u, 18u}) {
        Bits rep;
        rep.put(1, 1);
        rep.put(2, 2);
        rep.put(0, 5);     // 257 literal/length codes
        rep.put(0, 5);     // 1 distance code
        rep.put(0, 4);     // 4 code-length codes: 16, 17, 18, 0
        uint32_t lengths[4] = {0, 0, 0, 1};
        lengths[symbol - 16] = 1;   // two codes of length 1: 0 and the repeat
        for (uint32_t l : lengths) rep.put(l, 3);
        if (symbol == 16) {
            rep.put(1, 1);   // code "1": symbol 16 first
            rep.put(0, 2);
        } else {
            for (int i = 0; i < 3; i++) {
                rep.put(1, 1);   // 18: 138 zeros, three times is past 258
                rep.put(127, 7);
            }
        }
        rep.put(0, 16);
        EXPECT_EQ(run(inflate, rep.done(), out), RESULT_BAD_DATA) << symbol;
    }
}

TEST(Deflate, DamagedStreamsNeverCrash) {
    std::mt19937 rng(99);
    struct Case {
        const char* name;
        Routine routine;
    } cases[] = {{"romeo.txt.deflate", inflate},
                 {"romeo.txt.fixed-huff.deflate", inflate},
                 {"romeo.txt.zlib", zlib_decompress},
                 {"romeo.txt.gz", gzip_decompress},
                 {"artificial-deflate/huffman-primlen-9.deflate", inflate}};
    for (const Case& c : cases) {
        Bytes stream = read_data(c.name), out;
        // Every cut-off prefix: framed streams always fail; none crashes.
        for (size_t n = 0; n < stream.size(); n++) {
            Bytes cut(stream.begin(), stream.begin() + long(n));
            int32_t r = run(c.routine, cut, out);
            if (c.routine != inflate) {
                EXPECT_NE(r, RESULT_OK) << c.name << " cut at " << n;
            }
            EXPECT_TRUE(r >= RESULT_OK && r <= RESULT_BAD_DISTANCE);
        }
        for (int trial = 0; trial < 2000; trial++) {
            Bytes bad = stream;
            for (int flips = 1 + int(rng() % 4); flips > 0; flips--) bad[rng() % bad.size()] ^= uint8_t(1u << (rng() % 8));
            int32_t r = run(c.routine, bad, out);
            EXPECT_TRUE(r >= RESULT_OK && r <= RESULT_BAD_DISTANCE);
        }
    }
}

TEST(Deflate, MeasuringABombStopsAtTheLimit) {
    // Five 9-bit literals put the copies on a byte boundary; then copies of
    // 258 bytes at distance 1, 13 bits each, so eight make 13 bytes that
    // repeat: some 4.3 GB in all.
    Bits bomb;
    bomb.put(1, 1);
    bomb.put(1, 2);
    for (int i = 0; i < 5; i++) bomb.code(0x190, 9);
    Bits eight;
    for (int i = 0; i < 8; i++) {
        eight.code(0xC0 + 5, 8);   // 285: length 258
        eight.code(0, 5);          // distance 1
    }
    Bytes pattern = eight.done();
    uint64_t groups = uint64_t(SIZE_LIMIT) / (258 * 8) + 1;
    bomb.bytes.reserve(size_t(groups * pattern.size() + 8));
    for (uint64_t i = 0; i < groups; i++) bomb.bytes.insert(bomb.bytes.end(), pattern.begin(), pattern.end());
    bomb.code(0, 7);
    bomb.done();
    uint32_t size = 0;
    EXPECT_EQ(inflate(nullptr, &size, bomb.bytes.data(), uint32_t(bomb.bytes.size())), RESULT_TOO_SMALL);
    EXPECT_EQ(size, SIZE_LIMIT);
    // A small room fills, the rest is counted.
    uint8_t room[1000];
    std::memset(room, 0xAA, sizeof room);
    size = sizeof room;
    EXPECT_EQ(inflate(room, &size, bomb.bytes.data(), 100), RESULT_BAD_DATA);   // cut short
    EXPECT_EQ(room[999], 0x90);
}

}  // namespace
}  // namespace qor::test
