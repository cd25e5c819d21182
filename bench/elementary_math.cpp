// Speed of the project's elementary functions beside the C library's, on
// the same arguments in the same process.  Prints nanoseconds per call and
// the ratio (ours / library), and how many results differ in the last bits.
//
//   bench_elementary_math [count]      (default 200000 arguments per function)
//
// Benchmarks, one line each:
//   exp        uniform in [-700, 700]
//   log        random bit patterns of positive finite doubles
//   log2       the same
//   log10      the same
//   sin        uniform in [-10, 10]
//   sin-large  random magnitudes up to 1e300 (reduction with all bits of 2/pi)
//   cos        uniform in [-10, 10]
//   tan        uniform in [-10, 10]
//   asin       uniform in [-1, 1]
//   acos       uniform in [-1, 1]
//   atan       uniform in [-100, 100]
//   atan2      both uniform in [-100, 100]
//   pow        base in (0, 10], exponent in [-30, 30]
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "runtime/elementary_math.hpp"

namespace {

using Clock = std::chrono::steady_clock;

volatile double sink;

// Best of three runs, in nanoseconds per call.
template <typename F>
double time_per_call(const std::vector<double>& x, const std::vector<double>& y, F&& f) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        auto t0 = Clock::now();
        double s = 0;
        for (size_t i = 0; i < x.size(); ++i) s += f(x[i], y[i]);
        double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
        sink = s;
        if (ns < best) best = ns;
    }
    return best / double(x.size());
}

template <typename Ours, typename Library>
void bench(const char* name, const std::vector<double>& x, const std::vector<double>& y, Ours ours,
           Library library) {
    double a = time_per_call(x, y, ours);
    double b = time_per_call(x, y, library);
    size_t differ = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        double p = ours(x[i], y[i]), q = library(x[i], y[i]);
        if (std::memcmp(&p, &q, 8) != 0 && !(std::isnan(p) && std::isnan(q))) ++differ;
    }
    std::printf("%-10s %8.1f ns  %8.1f ns  %6.2f  %8zu\n", name, a, b, a / b, differ);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 200000;
    std::mt19937_64 rng(20261210);
    auto uniform = [&](double lo, double hi) {
        std::uniform_real_distribution<double> d(lo, hi);
        std::vector<double> v(count);
        for (double& e : v) e = d(rng);
        return v;
    };
    auto positive_bits = [&] {
        std::vector<double> v;
        while (v.size() < count) {
            uint64_t b = rng() & 0x7FFFFFFFFFFFFFFFull;
            double d;
            std::memcpy(&d, &b, 8);
            if (std::isfinite(d) && d != 0) v.push_back(d);
        }
        return v;
    };
    auto large = [&] {
        std::vector<double> v(count);
        std::uniform_real_distribution<double> e(0, 300);
        for (double& x : v) x = std::pow(10.0, e(rng));
        return v;
    };
    std::vector<double> none(count, 0.0);
    std::printf("%zu arguments, best of 3    qor        C library   ratio  differ\n", count);
    namespace m = qor::math;
    bench("exp", uniform(-700, 700), none, [](double x, double) { return m::exp(x); },
          [](double x, double) { return std::exp(x); });
    std::vector<double> logs = positive_bits();
    bench("log", logs, none, [](double x, double) { return m::log(x); }, [](double x, double) { return std::log(x); });
    bench("log2", logs, none, [](double x, double) { return m::log2(x); },
          [](double x, double) { return std::log2(x); });
    bench("log10", logs, none, [](double x, double) { return m::log10(x); },
          [](double x, double) { return std::log10(x); });
    std::vector<double> angles = uniform(-10, 10);
    bench("sin", angles, none, [](double x, double) { return m::sin(x); }, [](double x, double) { return std::sin(x); });
    bench("sin-large", large(), none, [](double x, double) { return m::sin(x); },
          [](double x, double) { return std::sin(x); });
    bench("cos", angles, none, [](double x, double) { return m::cos(x); }, [](double x, double) { return std::cos(x); });
    bench("tan", angles, none, [](double x, double) { return m::tan(x); }, [](double x, double) { return std::tan(x); });
    std::vector<double> unit = uniform(-1, 1);
    bench("asin", unit, none, [](double x, double) { return m::asin(x); }, [](double x, double) { return std::asin(x); });
    bench("acos", unit, none, [](double x, double) { return m::acos(x); }, [](double x, double) { return std::acos(x); });
    bench("atan", uniform(-100, 100), none, [](double x, double) { return m::atan(x); },
          [](double x, double) { return std::atan(x); });
    bench("atan2", uniform(-100, 100), uniform(-100, 100), [](double y, double x) { return m::atan2(y, x); },
          [](double y, double x) { return std::atan2(y, x); });
    bench("pow", uniform(1e-3, 10), uniform(-30, 30), [](double x, double y) { return m::pow(x, y); },
          [](double x, double y) { return std::pow(x, y); });
    return 0;
}
