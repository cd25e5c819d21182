// The system's facts from uname, in the record the Windows side fills.
#include "services/os_queries.hpp"

#include <sys/utsname.h>

#include <cstdlib>

namespace qor::os {

namespace {

// The machine name as one of the architecture words of the Windows side.
const char* arch_word(const std::string& machine) {
    if (machine == "x86_64" || machine == "amd64") return "x86-64";
    if (machine.size() == 4 && machine[0] == 'i' && machine.compare(2, 2, "86") == 0) return "x86-32";
    if (machine == "aarch64" || machine == "arm64") return "ARM64";
    if (machine.compare(0, 3, "arm") == 0) return "ARM";
    if (machine == "ia64") return "IA-64";
    return "Unknown";
}

}  // namespace

OsFacts query() {
    OsFacts facts;
    facts.arch = "Unknown";
    struct utsname u;
    if (uname(&u) != 0) {
        facts.name = "Unknown";
        return facts;
    }
    facts.name = std::string(u.sysname) + " " + u.release;
    facts.arch = arch_word(u.machine);
    // The release begins with the dotted numbers (6.1.0-18-686-pae): up to
    // three, each kept to a byte.
    const char* p = u.release;
    for (int i = 0; i < 3 && *p >= '0' && *p <= '9'; i++) {
        unsigned long n = std::strtoul(p, const_cast<char**>(&p), 10);
        facts.version[i] = uint8_t(n > 255 ? 255 : n);
        if (*p != '.') break;
        p++;
    }
    // The kernel's version text begins with "#" and its build count.
    const char* hash = u.version[0] == '#' ? u.version + 1 : nullptr;
    if (hash) {
        unsigned long n = std::strtoul(hash, nullptr, 10);
        facts.build = int32_t(n > 0x7FFFFFFFul ? 0x7FFFFFFFul : n);
    }
    return facts;
}

}  // namespace qor::os
