// Facts read from the operating system and handed out as values: the raw
// command line, the record behind `os-info`, and the type assertion of the
// image code.  The environment block is read by os_environment.hpp.
//
// The platform files (os_queries_win32.cpp, os_queries_posix.cpp) only fill
// the plain OsFacts record; naming and value building are portable, so the
// Windows naming rules are tested in every build.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/cell.hpp"

namespace qor::os {

// What the system says of itself.  Windows: GetVersionExA (extended) and
// GetNativeSystemInfo.  POSIX: uname: the kernel's name and release, the
// version numbers read from the release, the machine name as architecture
// and the number after '#' in the kernel's version text as build.
struct OsFacts {
    std::string name;           // "Windows 10", "Linux 6.1.0-18-686-pae"
    std::string arch;           // x86-32 x86-64 ARM ARM64 IA-64 Unknown
    uint8_t     version[3]{};   // major, minor, service-pack major (POSIX: patch level)
    int32_t     build = 0;
};
OsFacts query();   // platform side

// ---- Windows naming (portable, so it is tested natively) ---------------------------------

struct WindowsVersion {
    uint32_t    major = 0, minor = 0, build = 0;
    bool        server = false;     // product type other than a workstation
    std::string service_pack;       // the CSD text, empty when none
};
// "Windows " and the version name, then a blank and the service-pack text
// when there is one.
std::string windows_name(const WindowsVersion& v);
// The word for a processor architecture number of GetNativeSystemInfo.
const char* windows_arch(uint32_t processor_architecture);

// ---- Values (allocate: keep the answers rooted) -------------------------------------------

// The whole command line of the process as one string! (the text
// runtime/command_line.hpp reads).
Cell command_line();

// The `os-info` record: an object! with the fields name (string!), arch
// (word!), version (tuple! of three bytes) and build (integer!), pushed on
// the argument stack and answered.
Cell* push_info_record();

// Returns when the cell is of the datatype; otherwise raises script/invalid-arg
// with the value.
void assert_datatype(const Cell* value, uint32_t type);

}  // namespace qor::os
