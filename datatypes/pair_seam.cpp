// Stand-in for pair!: {header, 0, x, y} read through x, y, 1 and 2.
#include "datatypes/pair_seam.hpp"

#include <string>

#include "datatypes/integer.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"

namespace qor::pair_seam {

namespace {

int32_t x_of(const Cell* p) { return int32_t(p->data2); }
int32_t y_of(const Cell* p) { return int32_t(p->data3); }

int32_t append_text(Cell* out, const std::string& text, int32_t limit) {
    string::append_ascii(out, text.c_str(), text.size());
    return limit - int32_t(text.size());
}

int32_t pair_form(Cell* value, Cell* out, Cell*, int32_t limit) {
    return append_text(out, std::to_string(x_of(value)) + "x" + std::to_string(y_of(value)), limit);
}

int32_t pair_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return pair_form(value, out, part, limit);
}

int32_t pair_compare(Cell* a, Cell* b, int32_t op) {
    if (type_of(b) != TYPE_PAIR) return COMPARE_INCOMPARABLE;
    if (x_of(a) == x_of(b) && y_of(a) == y_of(b)) return 0;
    if (op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op >= COMP_SAME) return 1;
    int32_t d = y_of(a) != y_of(b) ? y_of(a) - y_of(b) : x_of(a) - x_of(b);
    return d < 0 ? -1 : 1;
}

// pair/x, pair/y, pair/1 and pair/2; the stand-in cannot be changed by path.
Cell* pair_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell*, Cell*, int32_t, bool,
                     uint32_t, bool, bool) {
    int32_t index = 0;
    uint32_t et = type_of(element);
    if (et == TYPE_INTEGER) {
        index = int32_t(element->data2);
    } else if (et == TYPE_WORD) {
        const uint8_t* s = symbol::spelling(word::symbol_of(element));
        if ((s[0] == 'x' || s[0] == 'X') && s[1] == 0) index = 1;
        if ((s[0] == 'y' || s[0] == 'Y') && s[1] == 0) index = 2;
    }
    if (index < 1 || index > 2) raise_error("script", "invalid-path", path, element);
    if (new_value && type_of(new_value) != TYPE_NONE) raise_error("internal", "not-done");
    return integer::push_new(index == 1 ? x_of(value) : y_of(value));
}

}  // namespace

void init() {
    TypeSpec spec = make_type_spec(TYPE_PAIR);
    set_slot<SLOT_FORM>(spec, pair_form);
    set_slot<SLOT_MOLD>(spec, pair_mold);
    set_slot<SLOT_COMPARE>(spec, pair_compare);
    set_slot<SLOT_EVAL_PATH>(spec, pair_eval_path);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace qor::pair_seam
