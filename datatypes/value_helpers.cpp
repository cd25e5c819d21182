// Shared value helpers: cycle markers, indentation, repeated filling and the
// checked float-to-integer conversion.
#include "datatypes/value_helpers.hpp"

#include <cmath>
#include <cstring>

#include "datatypes/raise_seam.hpp"
#include "datatypes/text_out.hpp"
#include "datatypes/cycle_stack.hpp"

namespace qor::mold {

int32_t indent(Cell* out, int32_t depth, int32_t limit) {
    for (int32_t i = 0; i < depth; i++) string_append_ascii(out, "    ", 4);
    return depth > 0 ? limit - 4 * depth : limit;
}

bool cycle_marker(const Cell* value, Cell* out, int32_t* limit, bool molding) {
    if (!cycle_stack::find(cycle_stack::key_of(value))) return false;
    const char* marker = "...";
    if (molding) {
        switch (type_of(value)) {
        case TYPE_BLOCK: case TYPE_HASH: marker = "[...]"; break;
        case TYPE_PAREN: marker = "(...)"; break;
        case TYPE_MAP: marker = "#[...]"; break;
        case TYPE_OBJECT: marker = "make object! [...]"; break;
        default: break;
        }
    }
    size_t n = std::strlen(marker);
    string_append_ascii(out, marker, n);
    *limit -= int32_t(n);
    return true;
}

}  // namespace qor::mold

namespace qor::memory {

uint8_t* fill_repeat(uint8_t* buffer, uint32_t unit, uint32_t count) {
    if (count == 0) return buffer;
    // Bytes rather than units: count * unit may exceed what a unit count says
    // fits, and the doubling must stop exactly at the end.
    size_t total = size_t(count) * unit;
    size_t done = unit;
    while (done < total) {
        size_t n = done <= total - done ? done : total - done;
        std::memcpy(buffer + done, buffer, n);
        done += n;
    }
    return buffer + total;
}

}  // namespace qor::memory

namespace qor::number {

int32_t float_to_int_checked(const Cell* value) {
    uint32_t t = type_of(value);
    if (t == TYPE_FLOAT || t == TYPE_PERCENT) {
        double d = cell_float(value);
        // NaN fails both comparisons.
        if (!(d >= -2147483648.0 && d < 2147483648.0)) raise_error("script", "out-of-range", value);
        return int32_t(d);   // truncates toward zero
    }
    return int32_t(value->data2);
}

}  // namespace qor::number
