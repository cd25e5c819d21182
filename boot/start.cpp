// Start-up: what the executable does so far.  Later steps of the start-up
// sequence are added here in their fixed order.
#include "boot/start.hpp"

#include "runtime/console_output.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/process.hpp"
#include "runtime/runtime_error.hpp"

#include <cstring>

namespace qor::boot {

static int run() {
    output_hooks::init();
    platform::init();
    static const char banner[] = "--== Qor 0.6.6 ==--";
    console::write_latin1_line(banner, std::strlen(banner));
    return 0;
}

static int finish(int status) {
    runtime::exit();
    return status;
}

#ifdef _WIN32
int qor_main() {
    runtime::init_process();
    return finish(runtime::run_outermost(run));
}
#else
int qor_main(int argc, char** argv) {
    runtime::init_process(argc, argv);
    return finish(runtime::run_outermost(run));
}
#endif

}  // namespace qor::boot
