// POSIX side of the console writer: there is no console API, so the
// standard output is always written as a file (UTF-8, escapes unchanged).
#include "runtime/console_output.hpp"

namespace qor::console {

const ScreenOps* system_screen() { return nullptr; }

}  // namespace qor::console
