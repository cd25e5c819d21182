// Child processes for `call`: wires the child's standard streams to pipes,
// files or the null device, starts it, feeds its input, collects its output
// and waits.  The Windows side uses CreateProcessW, the POSIX side
// posix_spawn, with the same observable behaviour.  Input is written and
// both outputs are read at the same time, so a child that fills one pipe
// while the other side waits can never deadlock the pair.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qor::process_launch {

// One redirected stream.  For input, `bytes` is what to send; for output and
// error, the bytes captured are appended to it.
struct Stream {
    enum Kind : uint8_t { FILE, BUFFER };
    Kind kind = BUFFER;
    std::string file;    // UTF-8 name, in the operating system's form (FILE)
    std::string bytes;   // BUFFER
};

struct Options {
    bool wait = false;      // wait for the end and answer the exit code
    bool show = false;      // show the child's window (Windows)
    bool console = false;   // the child shares our standard streams
    bool shell = false;     // run the command through the shell
};

// What the decoder of captured text needs to know.
struct Flags {
    bool ran_through_shell = false;    // the command was not found and ran through the shell instead
    bool shell_wrote_errors = false;   // ... and that shell wrote to a captured error stream
};

// Runs `command` (UTF-8).  A null stream is not redirected: it goes to the
// null device, or with `console` to our own stream.  Any redirection makes
// the call wait.  Answers the exit code when waiting, else the process id;
// -1 when a file, a pipe or the process itself cannot be made (nothing is
// raised).  A program that cannot be found is retried once through the
// shell, whose own exit code then tells.
int32_t launch(const std::string& command, const Options& options, Stream* input, Stream* output, Stream* error,
               Flags* flags);

// Captured text as UTF-8: what ran through the shell is decoded from the
// system's ANSI code page on Windows; bytes that are not UTF-8 become
// U+FFFD.
std::string captured_text(const std::string& bytes, const Flags& flags);

// The ANSI code page's text as UTF-8 (Windows); the bytes as they are
// elsewhere.  Per platform.
std::string shell_text_to_utf8(const std::string& bytes);

// A command line read into arguments by the rules Windows programs use:
// blanks separate, double quotes group, backslashes escape a double quote
// (2n backslashes and a quote give n and a grouping quote, 2n+1 give n and
// a literal quote).  The POSIX launcher uses it for commands not run through
// the shell.
std::vector<std::string> split_command(const std::string& command);

}  // namespace qor::process_launch
