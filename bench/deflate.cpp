// Throughput of the DEFLATE coder and inflater in MB/s of uncompressed data,
// on text-like data (words drawn from a small vocabulary, so matches are
// frequent) and on random bytes, for raw DEFLATE, zlib and gzip.
//
//   bench_deflate [megabytes]      (default 16)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "harness.hpp"
#include "services/deflate.hpp"

namespace {

using namespace qor::deflate;
using qor::bench::Clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void measure(const char* label, const std::vector<uint8_t>& data, Routine pack, Routine unpack) {
    std::vector<uint8_t> packed(data.size() + data.size() / 4 + 64);
    uint32_t size = uint32_t(packed.size());
    auto start = Clock::now();
    if (pack(packed.data(), &size, data.data(), uint32_t(data.size())) != RESULT_OK) {
        std::printf("%s: compression failed\n", label);
        return;
    }
    double pack_time = seconds_since(start);
    std::vector<uint8_t> out(data.size());
    uint32_t out_size = uint32_t(out.size());
    start = Clock::now();
    int32_t r = unpack(out.data(), &out_size, packed.data(), size);
    double unpack_time = seconds_since(start);
    if (r != RESULT_OK || out != data) {
        std::printf("%s: round trip failed (%d)\n", label, r);
        return;
    }
    double mb = double(data.size()) / 1e6;
    std::printf("%-14s ratio %5.1f%%   compress %8.1f MB/s   inflate %8.1f MB/s\n", label,
                100.0 * size / double(data.size()), mb / pack_time, mb / unpack_time);
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 16;
    size_t n = megabytes * 1000000;
    std::mt19937 rng(2024);
    static const char* const words[] = {"the ", "value ", "block ", "series ", "of ", "and ", "function ",
                                        "word ", "context ", "a ", "is ", "to ", "print ", "\n"};
    std::vector<uint8_t> text;
    text.reserve(n);
    while (text.size() < n) {
        const char* w = words[rng() % (sizeof words / sizeof words[0])];
        while (*w && text.size() < n) text.push_back(uint8_t(*w++));
    }
    std::vector<uint8_t> noise(n);
    for (auto& b : noise) b = uint8_t(rng());
    measure("text deflate", text, deflate_compress, inflate);
    measure("text zlib", text, zlib_compress, zlib_decompress);
    measure("text gzip", text, gzip_compress, gzip_decompress);
    measure("random deflate", noise, deflate_compress, inflate);
    return 0;
}
