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

}  // namespace qor::boot
