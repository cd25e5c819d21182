// Throughput of the float/text conversions beside the C++ library's
// std::to_chars and std::from_chars, run in the same process on the same
// inputs.  Prints nanoseconds per conversion and the ratio (ours / library).
//
//   bench_float_text [count]      (default 1000000 values)
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "harness.hpp"
#include "runtime/float_to_text.hpp"
#include "runtime/text_to_float.hpp"

namespace {

double from_bits(uint64_t b) {
    double d;
    std::memcpy(&d, &b, 8);
    return d;
}

volatile uint64_t sink;

// Best of three runs, in nanoseconds per item.
template <typename F>
double time_per_item(size_t items, F&& body) {
    return qor::bench::best_seconds(body) * 1e9 / double(items);
}

void report(const char* what, double ours, double library) {
    std::printf("%-44s %8.1f ns  %8.1f ns  %6.2f\n", what, ours, library, ours / library);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 1000000;
    std::mt19937_64 rng(20240611);

    // Random bit patterns (every exponent equally likely) and values of a
    // more everyday kind (uniform in [0, 1000) with a few decimals).
    std::vector<double> any_bits, everyday;
    while (any_bits.size() < count) {
        uint64_t b = rng() & 0x7FFFFFFFFFFFFFFFull;
        if ((b >> 52) != 0x7FF && b != 0) any_bits.push_back(from_bits(b));
    }
    for (size_t i = 0; i < count; ++i) everyday.push_back(double(rng() % 100000000) / 1000.0);

    std::printf("%zu values per run, best of 3            %11s  %11s  %6s\n", count, "qor",
                "std", "ratio");
    char buf[qor::float_text::text_capacity];

    for (int set = 0; set < 2; ++set) {
        const std::vector<double>& values = set ? everyday : any_bits;
        const char* name = set ? "everyday" : "random bits";
        std::string label;

        label = std::string("shortest, ") + name;
        double ours = time_per_item(count, [&] {
            uint64_t s = 0;
            for (double v : values) s += qor::float_text::form_to(buf, v, 0, 1);
            sink = s;
        });
        double lib = time_per_item(count, [&] {
            uint64_t s = 0;
            for (double v : values) s += size_t(std::to_chars(buf, buf + sizeof buf, v).ptr - buf);
            sink = s;
        });
        report(label.c_str(), ours, lib);

        label = std::string("%.16g, ") + name;
        ours = time_per_item(count, [&] {
            uint64_t s = 0;
            for (double v : values) s += qor::float_text::format_g_to(buf, v, 16);
            sink = s;
        });
        lib = time_per_item(count, [&] {
            uint64_t s = 0;
            for (double v : values)
                s += size_t(std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 16).ptr -
                            buf);
            sink = s;
        });
        report(label.c_str(), ours, lib);

        // Texts to read: the shortest forms, and 25-digit forms that take
        // the path for long digit strings.
        for (int digits : {0, 25}) {
            std::vector<std::string> texts;
            texts.reserve(values.size());
            for (double v : values) {
                auto r = digits ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific,
                                                digits - 1)
                                : std::to_chars(buf, buf + sizeof buf, v);
                texts.emplace_back(buf, r.ptr);
            }
            label = std::string("text to float, ") + (digits ? "25 digits, " : "shortest, ") + name;
            ours = time_per_item(count, [&] {
                uint64_t s = 0;
                for (const std::string& t : texts) {
                    double d = qor::float_text::strtod(t.data(), t.data() + t.size(), 0, nullptr);
                    uint64_t b;
                    std::memcpy(&b, &d, 8);
                    s += b;
                }
                sink = s;
            });
            lib = time_per_item(count, [&] {
                uint64_t s = 0;
                for (const std::string& t : texts) {
                    double d = 0;
                    std::from_chars(t.data(), t.data() + t.size(), d);
                    uint64_t b;
                    std::memcpy(&b, &d, 8);
                    s += b;
                }
                sink = s;
            });
            report(label.c_str(), ours, lib);
        }
    }
    return 0;
}
