// Changing the letter case of a char! or of text in place.
#include "datatypes/integer.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/series.hpp"
#include "datatypes/series_internal.hpp"
#include "datatypes/string.hpp"
#include "runtime/case_folding.hpp"

namespace qor::case_ {

Cell* change_part(Cell* value, const Cell* part_arg, bool upper) {
    if (type_of(value) == TYPE_CHAR) {
        value->data2 = map_char(value->data2, upper);
        return value;
    }
    uint32_t n = string::remaining_length(value);   // also clips the index to the tail
    if (part_arg) {
        int64_t count;
        if (type_of(part_arg) == TYPE_INTEGER) count = integer::get_value(part_arg);
        else if (series::same_series_q(value, part_arg)) count = int64_t(int32_t(part_arg->data1)) - int32_t(value->data1);
        else raise_error("script", "invalid-refine-arg", "part", part_arg);
        if (count < 0) count = 0;
        if (count < n) n = uint32_t(count);
    }
    Node node = cell_node(value);
    uint32_t index = value->data1;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t c = string::char_at(value, index + i);
        uint32_t m = map_char(c, upper);
        if (m != c) string::poke_char(node, index + i, m);
    }
    series::notify(value, upper ? "uppercase" : "lowercase", nullptr, int32_t(index), int32_t(n));
    return value;
}

Cell* change(Cell* value, int32_t part, bool upper) {
    return change_part(value, part ? value + part : nullptr, upper);
}

}  // namespace qor::case_
