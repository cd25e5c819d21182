// Throughput of the checksum native (CRC-32, MD5, SHA-256) in MB/s, called
// as compiled code calls it, with the data as a binary!.  In the native
// build Python's zlib.crc32, hashlib.md5 and hashlib.sha256 digest the same
// bytes (read from a temporary file before its clock starts) in the same
// run, and the ratio ours / Python's (of throughputs) is printed beside them.
//
//   bench_checksum [megabytes]      (default 64)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "harness.hpp"
#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/word.hpp"
#include "evaluator/natives.hpp"
#include "datatypes/binary.hpp"
#include "evaluator/natives_system.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using namespace qor;
using bench::best_seconds;

// One call of the native: checksum data 'method, checked as compiled code
// checks it.
void call_checksum(const Cell* data, const Cell* method) {
    stack::Checkpoint cp = stack::checkpoint();
    stack::mark_native(nullptr);
    stack::push(data);
    stack::push(method);
    const int32_t refinements[1] = {-1};
    natives::checksum_star(true, refinements);
    stack::restore(cp);
}

#ifndef _WIN32
// Python's seconds per method (best of three), in the order crc32, md5,
// sha256; empty when python3 could not run.
std::vector<double> python_seconds(const std::string& path) {
    const std::string script =
        "import hashlib, zlib, time\n"
        "d = open('" + path + "', 'rb').read()\n"
        "for f in (lambda: zlib.crc32(d), lambda: hashlib.md5(d).digest(), lambda: hashlib.sha256(d).digest()):\n"
        "    best = 1e30\n"
        "    for i in range(3):\n"
        "        t = time.perf_counter(); f(); best = min(best, time.perf_counter() - t)\n"
        "    print(best)\n";
    const std::string script_path = path + ".py";
    if (FILE* f = std::fopen(script_path.c_str(), "w")) {
        std::fputs(script.c_str(), f);
        std::fclose(f);
    }
    std::vector<double> out;
    const std::string cmd = "python3 '" + script_path + "' 2>/dev/null";
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char line[64];
        while (std::fgets(line, sizeof line, p)) out.push_back(std::strtod(line, nullptr));
        pclose(p);
    }
    std::remove(script_path.c_str());
    if (out.size() != 3) out.clear();
    return out;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const size_t mb = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 64;
    const size_t size = mb << 20;
    std::vector<uint8_t> bytes(size);
    std::mt19937 gen(2024);
    for (size_t i = 0; i + 4 <= size; i += 4) {
        const uint32_t r = gen();
        std::memcpy(&bytes[i], &r, 4);
    }
    const double megabytes = double(size) / (1 << 20);

    bench::start_runtime();

    Cell data = binary::make(bytes.data(), uint32_t(size));
    gc::CellRoot keep(&data);

#ifndef _WIN32
    const std::string path = "/tmp/qor-bench-checksum-" + std::to_string(getpid()) + ".bin";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    const std::vector<double> python = python_seconds(path);
    std::remove(path.c_str());
#else
    const std::vector<double> python;
#endif

    std::printf("%zu MB of random bytes through `checksum`\n", mb);
    std::printf("%-8s %10s %14s %8s\n", "method", "MB/s", "python MB/s", "ratio");
    const char* const methods[] = {"crc32", "md5", "sha256"};
    for (size_t i = 0; i < 3; i++) {
        Cell method = *word::make_from_c_string(methods[i]);
        const double ours = megabytes / best_seconds([&] { call_checksum(&data, &method); });
        if (!python.empty()) {
            const double theirs = megabytes / python[i];
            std::printf("%-8s %10.1f %14.1f %8.2f\n", methods[i], ours, theirs, ours / theirs);
        } else {
            std::printf("%-8s %10.1f %14s %8s\n", methods[i], ours, "-", "-");
        }
    }
    return 0;
}
