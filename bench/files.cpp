// File read and write throughput in MB/s, through the language's own
// `read` and `write` (evaluated as Qor code), beside python3 doing the same
// work on the same file.
//
//   bench_files [megabytes] [directory]      (defaults 64 and /tmp)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "harness.hpp"
#include "evaluator/interpreter.hpp"
#include "runtime/collector.hpp"

namespace {

using namespace qor;
using bench::best_seconds;

// Text of about `bytes` bytes: lines of 63 characters and LF, one line in
// 50 with a non-ASCII character.
std::string sample_text(size_t bytes) {
    std::string text;
    text.reserve(bytes + 128);
    for (size_t line = 0; text.size() < bytes; ++line) {
        for (int i = 0; i < 63; ++i) text += char('a' + (line * 7 + size_t(i)) % 26);
        if (line % 50 == 49) text += "\xC3\xA9";
        text += '\n';
    }
    return text;
}

double run_qor(const std::string& source, const std::string& setup = "") {
    if (!setup.empty()) {
        Cell prepare = bench::load_source(setup);
        gc::CellRoot keep_prepare(&prepare);
        interp::eval_block(&prepare, false);
    }
    Cell code = bench::load_source(source);
    gc::CellRoot keep(&code);
    return best_seconds([&] {
        Cell c = code;
        interp::eval_block(&c, false);
    });
}

// python3's MB/s for the same statement, the best of three, or 0 when it
// cannot run.
double run_python(const std::string& setup, const std::string& statement, double mb) {
    std::string script = "import time\n" + setup +
                         "\nbest=1e30\nfor _ in range(3):\n    t=time.perf_counter()\n    " + statement +
                         "\n    best=min(best,time.perf_counter()-t)\nprint(best)\n";
    std::string path = "/tmp/qor-bench-files.py";
    std::ofstream(path) << script;
    FILE* p = popen(("python3 " + path + " 2>/dev/null").c_str(), "r");
    if (!p) return 0;
    double seconds = 0;
    if (std::fscanf(p, "%lf", &seconds) != 1) seconds = 0;
    pclose(p);
    std::remove(path.c_str());
    return seconds > 0 ? mb / seconds : 0;
}

void report(const char* what, double mb, double qor_seconds, double python_mbs) {
    double q = mb / qor_seconds;
    if (python_mbs > 0)
        std::printf("%-34s %9.1f MB/s   python3 %9.1f MB/s   ratio %5.2f\n", what, q, python_mbs,
                    python_mbs / q);
    else
        std::printf("%-34s %9.1f MB/s\n", what, q);
}

}  // namespace

int main(int argc, char** argv) {
    double mb = argc > 1 ? std::atof(argv[1]) : 64;
    if (mb <= 0) mb = 64;
    std::string dir = argc > 2 ? argv[2] : "/tmp";
    std::string in = dir + "/qor-bench-in.txt", out = dir + "/qor-bench-out.txt";
    std::string text = sample_text(size_t(mb * 1024 * 1024));
    std::ofstream(in, std::ios::binary) << text;

    bench::start_runtime();
    std::printf("files: %.0f MB of text (ratio above 1: Qor is slower)\n", mb);

    std::string qin = "%" + in, qout = "%" + out;
    std::string py_in = "src='" + in + "'\ndst='" + out + "'\ndata=open(src,'rb').read()\ntext=data.decode()";
    report("read/binary", mb, run_qor("read/binary " + qin),
           run_python(py_in, "open(src,'rb').read()", mb));
    report("read (UTF-8 text)", mb, run_qor("read " + qin),
           run_python(py_in, "open(src,encoding='utf-8').read()", mb));
    report("read/lines", mb, run_qor("read/lines " + qin),
           run_python(py_in, "open(src,encoding='utf-8').read().splitlines()", mb));
    report("write/binary", mb, run_qor("write/binary " + qout + " d", "d: read/binary " + qin),
           run_python(py_in, "open(dst,'wb').write(data)", mb));
    report("write (text, CR LF line ends)", mb, run_qor("write " + qout + " t", "t: read " + qin),
           run_python(py_in, "open(dst,'w',encoding='utf-8',newline='\\r\\n').write(text)", mb));
    std::remove(in.c_str());
    std::remove(out.c_str());
    return 0;
}
