// Child processes: capture, redirection, the shell retry, and pipes that
// fill on both sides at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "services/process_launch.hpp"

namespace qor::test {
namespace {

using namespace qor::process_launch;

#ifdef _WIN32
// The error stream first, more than a pipe holds: a reader that drained
// the output first would wait for ever.
const char* const BOTH_STREAMS = "type launch-test.txt 1>&2 & type launch-test.txt";
const char* const FILTER = "find \"x\"";
#else
const char* const BOTH_STREAMS = "cat launch-test.txt >&2; cat launch-test.txt";
const char* const FILTER = "grep x";
#endif
constexpr size_t BOTH_SIZE = 300000;

TEST(ProcessLaunch, BothOutputsFillingAtOnceDoNotDeadlock) {
    {
        std::ofstream file("launch-test.txt", std::ios::binary);
        file << std::string(BOTH_SIZE, 'z');
    }
    Options o;
    o.shell = true;
    Stream out, err;
    Flags flags;
    EXPECT_EQ(launch(BOTH_STREAMS, o, nullptr, &out, &err, &flags), 0);
    EXPECT_EQ(out.bytes.size(), BOTH_SIZE);
    EXPECT_EQ(err.bytes.size(), BOTH_SIZE);
    EXPECT_TRUE(flags.shell_wrote_errors);
    std::remove("launch-test.txt");
}

TEST(ProcessLaunch, InputIsFedWhileOutputIsRead) {
    Options o;
    o.shell = true;
    Stream in, out;
    Flags flags;
#ifdef _WIN32
    const size_t lines = 2000;
#else
    const size_t lines = 100000;   // far more than the pipes hold both ways
#endif
    for (size_t i = 0; i < lines; i++) in.bytes += "x line of input\n";
    EXPECT_EQ(launch(FILTER, o, &in, &out, nullptr, &flags), 0);
    std::string expected = in.bytes;
#ifdef _WIN32
    // find ends its lines with CR LF.
    std::string got;
    for (char c : out.bytes)
        if (c != '\r') got += c;
    out.bytes = got;
#endif
    EXPECT_EQ(out.bytes.size(), expected.size());
    EXPECT_EQ(out.bytes, expected);
}

TEST(ProcessLaunch, MissingProgramsAndFiles) {
    Options o;
    Stream err;
    Flags flags;
    // Not found: retried through the shell, whose own failure tells.
    int32_t code = launch("no-such-program-for-qor-tests", o, nullptr, nullptr, &err, &flags);
    EXPECT_NE(code, 0);
    EXPECT_NE(code, -1);
    EXPECT_TRUE(flags.ran_through_shell);
    EXPECT_TRUE(flags.shell_wrote_errors);
    // An input file that does not exist: -1, nothing raised.
    Stream in;
    in.kind = Stream::FILE;
    in.file = "no-such-file-for-qor-tests.txt";
    EXPECT_EQ(launch("echo", o, &in, nullptr, nullptr, &flags), -1);
}

TEST(ProcessLaunch, ExitCodesAndProcessIds) {
    Options o;
    o.shell = true;
    o.wait = true;
    Flags flags;
    EXPECT_EQ(launch("exit 7", o, nullptr, nullptr, nullptr, &flags), 7);
    o.wait = false;
    EXPECT_GT(launch("exit 0", o, nullptr, nullptr, nullptr, &flags), 0);   // a process id, at once
}

TEST(ProcessLaunch, CommandLinesSplitAsWindowsProgramsDo) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"a b\tc", {"a", "b", "c"}},
        {"  \"a b\" c  ", {"a b", "c"}},
        {"\"\"", {""}},
        {"a\\\\b", {"a\\\\b"}},           // backslashes alone stay
        {"a\\\"b", {"a\"b"}},             // \" is a quote
        {"\"a\\\\\" b", {"a\\", "b"}},    // \\" is a backslash and a grouping quote
        {"x\"y z\"w", {"xy zw"}},
    };
    for (const Case& c : cases) EXPECT_EQ(split_command(c.line), c.args) << c.line;
}

TEST(ProcessLaunch, CapturedTextIsMadeValidUtf8) {
    Flags flags;
    EXPECT_EQ(captured_text("ok \xC3\xA9", flags), "ok \xC3\xA9");
    EXPECT_EQ(captured_text("a\xFF" "b\xC3", flags), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qor::test
