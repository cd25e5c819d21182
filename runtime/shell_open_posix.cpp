// POSIX side of shell_open: the native build only tests the portable core,
// so nothing is launched.
#include "runtime/shell_open.hpp"

namespace qor::platform {

bool shell_open(const char16_t*) { return false; }

}  // namespace qor::platform
