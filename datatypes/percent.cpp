// percent!: its text; everything else is float!'s.
#include "datatypes/percent.hpp"

#include <cstring>
#include <initializer_list>

#include "datatypes/number_support.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/number_scan.hpp"

namespace qor {

// The fraction times 100 in float!'s percent form: 0.5 -> 50%; mold writes
// the same text whatever its refinements.
int32_t percent_form(Cell* value, Cell* out, Cell*, int32_t limit) {
    const char* text = float_::form_chars(cell_float(value) * 100.0, float_::FORM_PERCENT);
    uint32_t length = uint32_t(std::strlen(text));
    number_support::append_text(out, text, length);
    return limit - int32_t(length);
}

int32_t percent_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return percent_form(value, out, part, limit);
}

namespace percent {

void init() {
    TypeSpec spec = make_type_spec(TYPE_PERCENT);
    for (int slot : {SLOT_MAKE, SLOT_RANDOM, SLOT_TO, SLOT_COMPARE, SLOT_ABSOLUTE, SLOT_ADD,
                     SLOT_DIVIDE, SLOT_MULTIPLY, SLOT_NEGATE, SLOT_POWER, SLOT_REMAINDER, SLOT_ROUND,
                     SLOT_SUBTRACT, SLOT_EVEN_Q, SLOT_ODD_Q})
        inherit_slot(spec, slot);
    set_slot<SLOT_FORM>(spec, percent_form);
    set_slot<SLOT_MOLD>(spec, percent_mold);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace percent
}  // namespace qor

namespace qor::percent {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool, Cell* out) {
    double v;
    if (!number_scan::read_float(start, end, -2, &v)) return TYPE_FLOAT;
    *out = make(v);
    return 0;
}

}  // namespace qor::percent
