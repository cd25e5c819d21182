// Qorbin speed: the same data encoded and decoded (compact and fixed-width
// images) beside mold and load (the lexer) of it, in MB/s of molded text so
// that every row measures the same data; beside python3's pickle of a list
// of about the same shape (run in the same process through popen).
//
//   bench_qorbin [records]      (default 20000)
//
// The data: records of an integer, a float, a string, a word, a date, a
// nested block and a pair, the kind of values a script saves.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/string.hpp"
#include "evaluator/lexer.hpp"
#include "runtime/collector.hpp"
#include "services/qorbin.hpp"

namespace {

using namespace qor;
using bench::best_seconds;

std::string source_of(int records) {
    std::string s;
    char line[256];
    for (int i = 0; i < records; i++) {
        std::snprintf(line, sizeof line,
                      "[%d %d.25 \"name %d\" word%d 1-Jan-2020/10:%02d [%d %d] %dx%d]\n",
                      i, i, i, i % 50, i % 60, i, -i, i % 100, i % 7);
        s += line;
    }
    return s;
}

double python_pickle(int records) {
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "python3 -c \"import pickle,time,datetime\n"
                  "d=[[i,i+0.25,'name %%d'%%i,'word%%d'%%(i%%50),datetime.datetime(2020,1,1,10,i%%60),[i,-i],(i%%100,i%%7)] for i in range(%d)]\n"
                  "b=1e9\n"
                  "for k in range(3):\n"
                  " t=time.perf_counter(); x=pickle.loads(pickle.dumps(d)); b=min(b,time.perf_counter()-t)\n"
                  "print(b)\"",
                  records);
    FILE* p = popen(cmd, "r");
    if (!p) return 0;
    double t = 0;
    if (std::fscanf(p, "%lf", &t) != 1) t = 0;
    pclose(p);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    int records = argc > 1 ? std::atoi(argv[1]) : 20000;
    bench::start_runtime();
    std::string source = source_of(records);
    Cell data = bench::load_source(source);
    gc::CellRoot keep(&data);
    double mb = double(source.size()) / 1e6;

    Cell text{TYPE_NONE, 0, 0, 0}, image{TYPE_NONE, 0, 0, 0}, out{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_text(&text), keep_image(&image), keep_out(&out);

    double mold = best_seconds([&] {
        text = string::make(uint32_t(source.size()));
        dispatch::mold(&data, &text, true, false, false, nullptr, 1 << 30, 0);
    });
    double load = best_seconds([&] { lexer::transcode(&text, lexer::TranscodeOptions{}, &out); });
    std::printf("data: %d records, %.2f MB of molded text\n", records, mb);
    std::printf("%-26s %8.1f MB/s\n", "mold", mb / mold);
    std::printf("%-26s %8.1f MB/s\n", "load (lexer)", mb / load);
    double pair_qorbin[2] = {0, 0};
    for (bool compact : {true, false}) {
        double enc = best_seconds([&] { image = qorbin::encode(&data, compact); });
        uint32_t size = binary::length_from_index(&image);
        double dec = best_seconds([&] {
            out = block::make(1);
            qorbin::decode(binary::data_at_index(&image), int32_t(size), &out, nullptr);
        });
        const char* name = compact ? "compact" : "fixed-width";
        std::printf("qorbin %-11s encode    %8.1f MB/s   (image %.2f MB, %.0f%% of the text)\n", name, mb / enc,
                    size / 1e6, 100.0 * size / double(source.size()));
        std::printf("qorbin %-11s decode    %8.1f MB/s\n", name, mb / dec);
        if (compact) pair_qorbin[0] = enc + dec;
        else pair_qorbin[1] = enc + dec;
    }
    std::printf("round trip, times of mold + load: compact %.2fx, fixed-width %.2fx faster\n",
                (mold + load) / pair_qorbin[0], (mold + load) / pair_qorbin[1]);
    double py = python_pickle(records);
    if (py > 0)
        std::printf("python3 pickle dumps + loads: %.1f ms; qorbin compact encode + decode: %.1f ms (ratio %.2f)\n",
                    py * 1e3, pair_qorbin[0] * 1e3, pair_qorbin[0] / py);
    return 0;
}
