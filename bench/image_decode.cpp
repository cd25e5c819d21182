// PNG decode throughput over the valid PngSuite images (tests/data/pngsuite):
// images per second, MB/s of decoded BGRA pixels and MB/s of PNG input,
// for the codec alone (files read into memory first).
//
//   bench_image_decode [rounds]      (default 200)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "services/image_codecs.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    std::string dir = std::string(QOR_SOURCE_DIR) + "/tests/data/pngsuite/png";
    std::vector<std::vector<uint8_t>> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename().string()[0] == 'x') continue;
        std::ifstream in(e.path(), std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    double best = 1e30;
    uint64_t pixel_bytes = 0, input_bytes = 0;
    for (int run = 0; run < 3; run++) {
        pixel_bytes = input_bytes = 0;
        auto t0 = Clock::now();
        for (int r = 0; r < rounds; r++)
            for (const auto& f : files) {
                std::string reason;
                qor::image_backend::Bitmap* b = qor::image_codecs::decode(f.data(), uint32_t(f.size()), &reason);
                if (!b) {
                    std::printf("decode failed\n");
                    return 1;
                }
                pixel_bytes += uint64_t(b->count()) * 4;
                input_bytes += f.size();
                qor::image_backend::discard(b);
            }
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (s < best) best = s;
    }
    double images = double(files.size()) * rounds;
    std::printf("png-decode: %zu files x %d rounds: %.0f images/s, %.1f MB/s of pixels, %.1f MB/s of PNG input\n",
                files.size(), rounds, images / best, pixel_bytes / best / 1e6, input_bytes / best / 1e6);
    return 0;
}
