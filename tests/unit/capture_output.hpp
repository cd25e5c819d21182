// Captures what a piece of code writes to standard output, byte for byte
// (GoogleTest's own capture reads back in text mode on Windows, which would
// hide the CR of CR LF).
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace qor::test {

template <class F>
std::string captured_stdout(F&& f) {
#ifdef _WIN32
    const int pid = _getpid();
#else
    const int pid = getpid();
#endif
    std::fflush(stdout);
    const std::string path = testing::TempDir() + "qor_capture_" + std::to_string(pid) + ".bin";
    FILE* file = std::fopen(path.c_str(), "w+b");
    if (!file) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
#ifdef _WIN32
    const int saved = _dup(1);
    _dup2(_fileno(file), 1);   // also makes the file the process's standard output handle
#else
    const int saved = dup(1);
    dup2(fileno(file), 1);
#endif
    f();
    std::fflush(stdout);
#ifdef _WIN32
    _dup2(saved, 1);
    _close(saved);
#else
    dup2(saved, 1);
    close(saved);
#endif
    std::string out;
    std::rewind(file);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;) out.append(buf, n);
    std::fclose(file);
    std::remove(path.c_str());
    return out;
}

}  // namespace qor::test
