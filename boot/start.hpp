// Start-up: the runtime's initialisation in its fixed order and the run.
#pragma once

namespace qor::boot {

#ifdef _WIN32
int qor_main();                       // arguments come from the OS command line
#else
int qor_main(int argc, char** argv);  // arguments as the C runtime gives them
#endif

// Every runtime service in its fixed order, ending with the boot
// definitions and the error catalog.  Called once by qor_main.
void runtime_init();

// The part of runtime_init before the boot payload: every table and service
// that decoding it needs (the build tool that writes the payload stops here).
void runtime_init_services();

// Undoes what runtime_init and a run set up (hooks, tracing, the error
// catalog, words, every allocation), so that a test or a fuzz target can
// start the runtime again in the same process.
void runtime_reset();

}  // namespace qor::boot
