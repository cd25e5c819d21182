// The system's facts from GetVersionExA and GetNativeSystemInfo.
#include "services/os_queries.hpp"

#include <windows.h>

namespace qor::os {

namespace {

// ANSI text (the service-pack name) as UTF-8.
std::string utf8_from_ansi(const char* text) {
    int wide_length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide_length <= 1) return std::string();
    std::wstring wide(size_t(wide_length), L'\0');
    if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), wide_length)) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(size_t(n), '\0');
    if (!WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), n, nullptr, nullptr)) return std::string();
    out.resize(size_t(n - 1));
    return out;
}

}  // namespace

OsFacts query() {
    OsFacts facts;
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    facts.arch = windows_arch(system.wProcessorArchitecture);

    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
        facts.name = "Windows";
        return facts;
    }
    WindowsVersion v;
    v.major = info.dwMajorVersion;
    v.minor = info.dwMinorVersion;
    v.build = info.dwBuildNumber;
    v.server = info.wProductType != VER_NT_WORKSTATION;
    v.service_pack = utf8_from_ansi(info.szCSDVersion);
    facts.name = windows_name(v);
    facts.version[0] = uint8_t(v.major);
    facts.version[1] = uint8_t(v.minor);
    facts.version[2] = uint8_t(info.wServicePackMajor);
    facts.build = int32_t(v.build);
    return facts;
}

}  // namespace qor::os
