// Throughput of the digests and checksums, in MB/s.  In the native build the
// coreutils tools (md5sum, sha1sum, sha256sum, sha384sum, sha512sum) digest
// the same bytes from a temporary file, run from this process through popen,
// and the ratio ours / theirs (of throughputs) is printed beside them.  Their
// time includes starting the process and reading the file from the cache.
//
//   bench_digest [megabytes]      (default 64)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "harness.hpp"
#include "runtime/checksum.hpp"
#include "runtime/digest.hpp"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

namespace crypto = qor::crypto;
using qor::bench::best_seconds;

volatile uint32_t sink;

#ifndef _WIN32
// Seconds for `tool` to digest `path`, best of three; negative when it failed.
double tool_seconds(const char* tool, const std::string& path) {
    const std::string cmd = std::string(tool) + " '" + path + "' 2>/dev/null";
    bool ok = true;
    double s = best_seconds([&] {
        FILE* p = popen(cmd.c_str(), "r");
        char line[256];
        if (!p || !fgets(line, sizeof line, p)) ok = false;
        if (p) pclose(p);
    });
    return ok ? s : -1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const size_t mb = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 64;
    const size_t size = mb << 20;
    std::vector<uint8_t> data(size);
    std::mt19937 gen(2024);
    for (size_t i = 0; i + 4 <= size; i += 4) {
        const uint32_t r = gen();
        for (int k = 0; k < 4; k++) data[i + k] = uint8_t(r >> (8 * k));
    }
    const double megabytes = double(size) / (1 << 20);

    std::printf("%zu MB of random bytes\n", mb);
    std::printf("%-10s %10s\n", "checksum", "MB/s");
    struct Sum { const char* name; uint32_t (*fn)(const void*, size_t); };
    const Sum sums[] = {{"crc32", qor::crc32::compute}, {"adler32", qor::adler32::compute},
                        {"tcp", qor::tcp::checksum}};
    for (const Sum& s : sums) {
        double t = best_seconds([&] { sink = s.fn(data.data(), data.size()); });
        std::printf("%-10s %10.1f\n", s.name, megabytes / t);
    }

#ifndef _WIN32
    const std::string path = "/tmp/qor-bench-digest-" + std::to_string(getpid()) + ".bin";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
#endif

    struct Alg { const char* name; int32_t code; const char* tool; };
    const Alg algs[] = {{"md5", crypto::DIGEST_MD5, "md5sum"},
                        {"sha1", crypto::DIGEST_SHA1, "sha1sum"},
                        {"sha256", crypto::DIGEST_SHA256, "sha256sum"},
                        {"sha384", crypto::DIGEST_SHA384, "sha384sum"},
                        {"sha512", crypto::DIGEST_SHA512, "sha512sum"}};
    std::printf("\n%-10s %10s %10s %12s %8s\n", "digest", "MB/s", "tool", "tool MB/s", "ratio");
    for (const Alg& a : algs) {
        uint8_t out[crypto::HASH_BUFFER];
        bool ok = true;
        double t = best_seconds([&] { ok = crypto::hash(data.data(), data.size(), a.code, out) == crypto::Status::ok && ok; });
        const double ours = megabytes / t;
#ifndef _WIN32
        const double ts = tool_seconds(a.tool, path);
        if (ts > 0) {
            const double theirs = megabytes / ts;
            std::printf("%-10s %10.1f %10s %12.1f %8.2f%s\n", a.name, ours, a.tool, theirs, ours / theirs,
                        ok ? "" : "  (FAILED)");
            continue;
        }
#endif
        std::printf("%-10s %10.1f %10s %12s %8s%s\n", a.name, ours, "-", "-", "-", ok ? "" : "  (FAILED)");
    }
#ifndef _WIN32
    std::remove(path.c_str());
#endif
    return 0;
}
