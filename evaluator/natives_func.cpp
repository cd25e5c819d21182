// Function-making natives: func, function, does and has.  The spec checks,
// the local context and the binding of the body belong to the function!
// datatype; these natives prepare the spec and call it.  All four share
// func's argument cells: spec in the first, body in the second.
#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/word.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_support.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "datatypes/fixed_words.hpp"

namespace qor::natives {

using support::args;
using support::expect;
using support::T;

namespace {

constexpr uint64_t BLOCK = T(TYPE_BLOCK);

// Spec in cell 0, body in cell 1, nothing above them; then func.
int32_t make_function(Cell spec, Cell body) {
    Cell* a = args();
    a[0] = spec;
    a[1] = body;
    stack::state.top = a + 2;
    return func_star(false, nullptr);
}

Cell local_refinement() {
    if (words::ready()) return *words::refinement(words::REF_LOCAL);
    Cell* w = word::make_from_c_string("local");
    Cell r = *w;
    r.header = (r.header & ~TYPE_MASK) | TYPE_REFINEMENT;
    return r;
}

}  // namespace

int32_t func_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "spec", BLOCK);
        expect(1, "body", BLOCK);
    }
    Cell* a = args();
    for (uint32_t k = 0; k < 2; k++) {
        uint32_t total = block::total_length(a + k);
        if (a[k].data1 > total) a[k].data1 = total;
    }
    Cell spec = a[0], body = a[1];
    gc::CellRoot keep(&spec), keep_body(&body);
    uint32_t flags = function::validate_spec(&spec);
    Cell fn = *function::make_value(&spec, &body, nullptr, 0, nullptr, flags);
    stack::set_last_keep(&fn);
    return 0;
}

int32_t function_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "spec", BLOCK);
        expect(1, "body", BLOCK);
    }
    Cell* a = args();
    uint32_t total = block::total_length(a);
    if (a[0].data1 > total) a[0].data1 = total;
    stack::state.top = a + 2;
    Cell* copy = block::clone(a, true, false);
    Cell body = a[1];
    gc::CellRoot keep_body(&body);
    function::collect_locals(copy, &body);
    return make_function(*copy, body);
}

int32_t does_star(bool check, const int32_t*) {
    if (check) expect(0, "body", BLOCK);
    Cell body = args()[0];
    gc::CellRoot keep_body(&body);
    Cell spec = block::make(1);
    return make_function(spec, body);
}

int32_t has_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "vars", BLOCK);
        expect(1, "body", BLOCK);
    }
    Cell* a = args();
    uint32_t total = block::total_length(a);
    if (a[0].data1 > total) a[0].data1 = total;
    stack::state.top = a + 2;
    Cell* copy = block::clone(a, true, false);
    Cell local = local_refinement();
    gc::CellRoot keep_local(&local);
    block::insert_value(copy, &local, false, true);
    Cell spec = *copy;
    return make_function(spec, a[1]);
}

}  // namespace qor::natives
