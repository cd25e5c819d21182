// Opening a document or URL in the application the system associates with
// it (the `browse` native).
#pragma once

namespace qor::platform {

// Asks the shell to open the target (a NUL-terminated UTF-16 path or URL)
// with the verb "open"; false when it refused.  The POSIX side opens
// nothing and answers false: the native build has no desktop shell to ask.
bool shell_open(const char16_t* target);

}  // namespace qor::platform
