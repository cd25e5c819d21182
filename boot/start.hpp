// Start-up: the runtime's initialisation in its fixed order and the run.
#pragma once

namespace qor::boot {

#ifdef _WIN32
int qor_main();                       // arguments come from the OS command line
#else
int qor_main(int argc, char** argv);  // arguments as the C runtime gives them
#endif

}  // namespace qor::boot
