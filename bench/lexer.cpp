// Lexing speed: source text to values, in MB/s of UTF-8 source, beside
// python3's ast.parse of a Python file of about the same size (run in the
// same process through popen).
//
//   bench_lexer [megabytes]      (default 4)
//
//   load      transcode of a string: every value built (words interned,
//             strings, blocks), collections included
//   quiet     the same with the collector held off (the lexer's own cost)
//   scan      the same text in scan mode: tokens recognised, no values
//   python    ast.parse of the Python text; the ratio is load / python
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "harness.hpp"
#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "evaluator/lexer.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "datatypes/root_block.hpp"

namespace {

using namespace qor;
using bench::best_seconds;
using bench::Clock;

// Varied Qor code: functions with specs and bodies, paths, strings,
// numbers, times, comments, nested blocks.
std::string qor_source(size_t bytes) {
    std::mt19937 rng(1234);
    static const char* const words[] = {"print", "append", "value", "result", "either", "foreach",
                                        "counter", "items", "make", "object!", "length?", "copy"};
    auto word = [&] { return std::string(words[rng() % 12]) + (rng() % 4 ? "" : std::to_string(rng() % 50)); };
    std::string s = "Qor [title: \"benchmark\" version: 1.2]\n\n";
    int n = 0;
    while (s.size() < bytes) {
        n++;
        s += "; function " + std::to_string(n) + " of the generated code\n";
        s += word() + "-" + std::to_string(n) + ": func [a [integer!] b /local c d] [\n";
        s += "    c: a + b * " + std::to_string(rng() % 1000) + "\n";
        s += "    d: [" + word() + " " + std::to_string(rng()) + " " + std::to_string((rng() % 100000) / 100.0) +
             " \"text " + std::to_string(rng() % 77) + "\" #\"x\" 12:30:45 %file.txt]\n";
        s += "    if c > " + std::to_string(rng() % 10) + " [print [\"big:\" c system/options/path]]\n";
        s += "    either empty? d/2 [append d 'word] [d/3: " + word() + "/" + word() + "]\n";
        s += "    x: {a brace string\n    on two lines} y: http://example.com/" + word() + "\n";
        s += "    foreach item d [result: either item = none [0] [length? form item]]\n";
        s += "    ]\n\n";
    }
    return s;
}

// Python code of the same shape and about the same size.
std::string python_source(size_t bytes) {
    std::mt19937 rng(1234);
    std::string s = "\"\"\"benchmark\"\"\"\n\n";
    int n = 0;
    while (s.size() < bytes) {
        n++;
        s += "# function " + std::to_string(n) + " of the generated code\n";
        s += "def value_" + std::to_string(n) + "(a: int, b, *rest):\n";
        s += "    c = a + b * " + std::to_string(rng() % 1000) + "\n";
        s += "    d = [items, " + std::to_string(rng()) + ", " + std::to_string((rng() % 100000) / 100.0) +
             ", \"text " + std::to_string(rng() % 77) + "\", 'x', (12, 30, 45), 'file.txt']\n";
        s += "    if c > " + std::to_string(rng() % 10) + ":\n        print(\"big:\", c, system.options.path)\n";
        s += "    if not d[1]:\n        d.append('word')\n    else:\n        d[2] = counter.items\n";
        s += "    x = \"\"\"a brace string\n    on two lines\"\"\"; y = \"http://example.com/\"\n";
        s += "    for item in d:\n        result = 0 if item is None else len(str(item))\n\n";
    }
    return s;
}

double python_mb_per_second(const std::string& source) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) return 0;
    std::string path = (dir / ("qor-bench-lexer-" + std::to_string(uint32_t(Clock::now().time_since_epoch().count())) + ".py")).string();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(source.data(), 1, source.size(), f);
    std::fclose(f);
    std::string command = std::string("python3 -c \"import ast, sys, time\n"
                                      "src = open(sys.argv[1]).read()\n"
                                      "best = 1e30\n"
                                      "for _ in range(3):\n"
                                      "    t = time.perf_counter(); ast.parse(src); best = min(best, time.perf_counter() - t)\n"
                                      "print(best)\" ") + path;
    FILE* p = popen(command.c_str(), "r");
    double seconds = 0;
    if (p) {
        if (std::fscanf(p, "%lf", &seconds) != 1) seconds = 0;
        pclose(p);
    }
    std::remove(path.c_str());
    return seconds > 0 ? double(source.size()) / 1e6 / seconds : 0;
}

}  // namespace

int main(int argc, char** argv) {
    double megabytes = argc > 1 ? std::atof(argv[1]) : 4.0;
    size_t bytes = size_t(megabytes * 1e6);

    bench::start_runtime();

    std::string source = qor_source(bytes);
    double mb = double(source.size()) / 1e6;
    Cell text = string::from_utf8(source.data(), source.size());
    gc::CellRoot keep(&text);
    uint32_t values = 0;

    double load = best_seconds([&] {
        Cell out{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_out(&out);
        lexer::transcode(&text, lexer::TranscodeOptions{}, &out);
        values = block::length(&out);
    });
    double load_quiet = best_seconds([&] {
        gc::NoCollect quiet;
        Cell out{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_out(&out);
        lexer::transcode(&text, lexer::TranscodeOptions{}, &out);
    });
    gc::collect();
    double scan = best_seconds([&] {
        lexer::ScanRequest request;
        request.input = reinterpret_cast<const uint8_t*>(source.data());
        request.size = uint32_t(source.size());
        request.scan = true;
        lexer::scan(request, nullptr);
    });
    std::printf("source: %.2f MB of Qor code, %u top-level values\n", mb, values);
    std::printf("%-32s %9.1f MB/s\n", "load (transcode, values built)", mb / load);
    std::printf("%-32s %9.1f MB/s\n", "load, collector held off", mb / load_quiet);
    std::printf("%-32s %9.1f MB/s\n", "scan (tokens only)", mb / scan);
    double python = python_mb_per_second(python_source(source.size()));
    if (python > 0) {
        std::printf("%-32s %9.1f MB/s\n", "python3 ast.parse", python);
        std::printf("%-32s %9.2f\n", "ratio load / python", (mb / load) / python);
    } else {
        std::printf("python3 ast.parse: not available\n");
    }
    return 0;
}
