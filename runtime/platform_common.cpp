// The pure parts of the platform layer, shared by both sides.
#include "runtime/platform.hpp"

#include <cstdlib>

namespace qor::platform {

uint32_t filetime_mod_10000(uint64_t filetime) {
    // filetime = a * 2^47 + b * 2^30 + c; 2^30 mod 10000 = 1824 and
    // 2^47 mod 10000 = 5328.  Each product stays below 2^30, so the sum fits
    // in 32 bits and one 32-bit remainder finishes the job.
    uint32_t c = uint32_t(filetime & 0x3FFFFFFFu);
    uint32_t b = uint32_t((filetime >> 30) & 0x1FFFFu);
    uint32_t a = uint32_t(filetime >> 47);
    return (a * 5328u + b * 1824u + c) % 10000u;
}

double time_of_day_from_filetime(uint64_t filetime, bool precise) {
    uint64_t seconds = filetime / 10000000u;
    double t = double(seconds % 86400u);
    if (precise) {
        uint32_t milliseconds = uint32_t((filetime / 10000u) % 1000u);
        uint32_t units = filetime_mod_10000(filetime);   // 100 ns units within the millisecond
        t += (double(units) * 100.0 + double(milliseconds) * 1000000.0) / 1000000000.0;
    }
    return t;
}

uint32_t zone_bits(int32_t offset_minutes) {
    int32_t hours = offset_minutes / 60;               // truncated toward zero
    int32_t minutes = std::abs(offset_minutes % 60);   // west of UTC the remainder is negative
    uint32_t zone = (uint32_t(std::abs(hours)) & 15u) << 2 | uint32_t(minutes / 15);
    if (offset_minutes < 0) zone |= 0x40u;
    return zone;
}

uint32_t pack_date(int32_t year, uint32_t month, uint32_t day, uint32_t zone) {
    return uint32_t(year) << 17 | (month & 15u) << 12 | (day & 31u) << 7 | (zone & 0x7Fu);
}

}  // namespace qor::platform
