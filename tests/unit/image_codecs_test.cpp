// The image codecs over public corpora.  Every file of tests/data/pngsuite
// and tests/data/wuffs-images is decoded and its pixels summed up as a
// CRC-32 of the BGRA bytes; tests/data/image-checksums.txt holds the
// expected "name WxH crc" or "name error" per file, and both builds check
// the same table, so their decoders give equal pixels.  The table is
// rewritten from the native decoders with QOR_WRITE_IMAGE_CHECKSUMS=1.
#include "services/image_codecs.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "runtime/checksum.hpp"

namespace qor {
namespace {

namespace fs = std::filesystem;
using image_backend::Bitmap;

const std::string DATA = QOR_TEST_DATA;
const std::string TABLE = DATA + "/image-checksums.txt";

struct BitmapFree {
    void operator()(Bitmap* b) const { image_backend::discard(b); }
};
using Owned = std::unique_ptr<Bitmap, BitmapFree>;

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Owned decode(const std::vector<uint8_t>& bytes) {
    std::string reason;
    return Owned(image_codecs::decode(bytes.data(), uint32_t(bytes.size()), &reason));
}

std::string verdict(const std::string& path) {
    Owned b = decode(read_bytes(path));
    if (!b) return "error";
    char text[64];
    std::snprintf(text, sizeof text, "%ux%u %08x", b->width, b->height,
                  crc32::compute(b->pixels(), size_t(b->count()) * 4));
    return text;
}

// The corpus files by their name under tests/data, sorted.
std::vector<std::string> corpus() {
    std::vector<std::string> names;
    for (const char* dir : {"pngsuite/png", "wuffs-images"})
        for (const auto& e : fs::recursive_directory_iterator(DATA + "/" + dir)) {
            std::string ext = e.path().extension().string();
            if (e.is_regular_file() && ext != ".md" && e.path().filename() != "LICENSE")
                names.push_back(fs::relative(e.path(), DATA).generic_string());
        }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ImageCodecs, CorpusDecodesToTheRecordedPixels) {
    std::vector<std::string> names = corpus();
    ASSERT_FALSE(names.empty());
    if (std::getenv("QOR_WRITE_IMAGE_CHECKSUMS")) {
        std::ofstream out(TABLE);
        for (const std::string& n : names) out << n << ' ' << verdict(DATA + "/" + n) << '\n';
        GTEST_SKIP() << "table written";
    }
    std::map<std::string, std::string> expected;
    std::ifstream in(TABLE);
    for (std::string line; std::getline(in, line);) {
        size_t space = line.find(' ');
        if (space != std::string::npos) expected[line.substr(0, space)] = line.substr(space + 1);
    }
    for (const std::string& n : names) {
        ASSERT_TRUE(expected.count(n)) << n << " is not in the table";
        EXPECT_EQ(verdict(DATA + "/" + n), expected[n]) << n;
    }
}

// The corrupt PngSuite files are refused; the valid ones decode to the size
// their names give (s01..s40 are square of that side, the rest 32x32).
TEST(ImageCodecs, PngSuiteSizesAndRejections) {
    for (const auto& e : fs::directory_iterator(DATA + "/pngsuite/png")) {
        std::string name = e.path().filename().string();
        Owned b = decode(read_bytes(e.path().string()));
        if (name[0] == 'x') {
            EXPECT_FALSE(b) << name;
            continue;
        }
        ASSERT_TRUE(b) << name;
        uint32_t side = name[0] == 's' ? uint32_t(std::stoi(name.substr(1, 2))) : 32;
        if (name.rfind("cdf", 0) == 0 || name.rfind("cdh", 0) == 0 || name.rfind("cds", 0) == 0 ||
            name.rfind("cdu", 0) == 0)
            continue;   // the pixel-dimension cases have other shapes
        EXPECT_EQ(b->width, side) << name;
        EXPECT_EQ(b->height, side) << name;
    }
}

// Hostile headers: a claimed size beyond the limits is refused before any
// pixel memory is taken, and short or empty input fails cleanly.
TEST(ImageCodecs, HostileHeadersAreRefused) {
    std::vector<uint8_t> png = read_bytes(DATA + "/pngsuite/png/basn2c08.png");
    ASSERT_GT(png.size(), 33u);
    std::vector<uint8_t> huge = png;
    // IHDR width and height (bytes 16..23) set to 70000 x 70000.
    for (int i : {16, 20}) {
        huge[i] = 0, huge[i + 1] = 1, huge[i + 2] = 0x11, huge[i + 3] = 0x70;
    }
    uint32_t crc = crc32::compute(huge.data() + 12, 17);   // with a valid CRC: refused for its size
    for (int k = 0; k < 4; k++) huge[29 + k] = uint8_t(crc >> (24 - 8 * k));
    const std::vector<uint8_t> cases[] = {
        huge,
        std::vector<uint8_t>(png.begin(), png.begin() + 40),
        {'B', 'M', 0, 0},
        {'B', 'M', 255, 255, 255, 255, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 1, 0, 32, 0},
        {0xFF, 0xD8, 0xFF},
        {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF},
        {'I', 'I', 42, 0, 8, 0, 0, 0},
    };
    for (const auto& bytes : cases) EXPECT_FALSE(decode(bytes)) << bytes.size() << " bytes";
}

// Every format encodes and decodes back to the same size; the lossless
// ones give the same pixels (TIFF's reader premultiplies, so its translucent
// pixel comes back only close).
TEST(ImageCodecs, EncodeDecodeRoundTrip) {
    Owned b(image_backend::alloc_bitmap(7, 5));
    ASSERT_TRUE(b);
    for (uint32_t i = 0; i < b->count(); i++) b->pixels()[i] = 0xFF000000u | (i * 0x0B0503u & 0xFFFFFFu);
    b->pixels()[3] = 0x80112233u;
    struct Case {
        int32_t format;
        bool    lossless;
        bool    exact_translucency;
    };
    const Case cases[] = {
        {image_backend::FORMAT_PNG, true, true},
        {image_backend::FORMAT_BMP, true, true},
        {image_backend::FORMAT_TIFF, true, false},
        {image_backend::FORMAT_JPEG, false, false},
        {image_backend::FORMAT_GIF, false, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(image_codecs::encode(b.get(), c.format, &bytes)) << c.format;
        Owned back = decode(bytes);
        ASSERT_TRUE(back) << c.format;
        EXPECT_EQ(back->width, 7u);
        EXPECT_EQ(back->height, 5u);
        if (c.lossless) {
            for (uint32_t i = 0; i < b->count(); i++) {
                if (c.exact_translucency || b->pixels()[i] >> 24 == 255) {
                    EXPECT_EQ(back->pixels()[i], b->pixels()[i]) << c.format << " pixel " << i;
                }
            }
            EXPECT_EQ(back->pixels()[3] >> 24, 0x80u) << c.format;
        }
    }
    std::vector<uint8_t> png;
    ASSERT_TRUE(image_codecs::encode(b.get(), image_backend::FORMAT_PNG, &png));
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
}

}  // namespace
}  // namespace qor
