// triple!: the text form of three integers.
#include "datatypes/triple.hpp"

#include <cstring>

#include "datatypes/integer.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"

namespace qor {

namespace triple {

void init() {
    TypeSpec spec = make_type_spec(TYPE_TRIPLE);
    set_slot<SLOT_FORM>(spec, triple_form);
    set_slot<SLOT_MOLD>(spec, triple_mold);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace triple

int32_t triple_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    (void)part;
    const uint32_t words[3] = {value->data1, value->data2, value->data3};
    string::append_ascii(out, "make triple! [", 14);
    limit -= 14;
    for (int i = 0; i < 3; i++) {
        if (i > 0) {
            string::append_ascii(out, " ", 1);
            limit--;
        }
        const char* digits = integer::to_decimal_chars(int32_t(words[i]));
        size_t n = std::strlen(digits);
        string::append_ascii(out, digits, n);
        limit -= int32_t(n);
    }
    string::append_ascii(out, "]", 1);
    return limit - 1;
}

int32_t triple_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                    int32_t indent) {
    (void)only; (void)all; (void)flat; (void)indent;
    return triple_form(value, out, part, limit);
}

}  // namespace qor
