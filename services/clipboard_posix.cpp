// The native build has no system clipboard: the process keeps its own, so
// what was written last is read back.
#include "services/clipboard.hpp"

namespace qor::clipboard {

namespace {
Content held;   // NOTHING until something is written
}

// Text ends at its first NUL, as on the Windows clipboard.
Content read_content() {
    Content content = held;
    size_t nul = content.text.find('\0');
    if (nul != std::string::npos) content.text.resize(nul);
    return content;
}

bool write_content(const Content& content) {
    held = content;
    return true;
}

}  // namespace qor::clipboard
