// Start-up: what the executable does so far.  Later steps of the start-up
// sequence are added here in their fixed order.
#include "boot/start.hpp"

#include <cstdio>

namespace qor::boot {

static int run() {
    std::fputs("--== Qor 0.6.6 ==--\n", stdout);
    std::fflush(stdout);
    return 0;
}

#ifdef _WIN32
int qor_main() { return run(); }
#else
int qor_main(int, char**) { return run(); }
#endif

}  // namespace qor::boot
