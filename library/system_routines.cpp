// Routines of the system object's methods: the query of the call stack and
// the runtime switches behind some of the system's fields.
#include "library/routines.hpp"
#include "datatypes/float.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/stack.hpp"

namespace qor::routines {

namespace {

Cell* answer_logic(bool b) {
    *result_cell() = Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0};
    return result_cell();
}

// True when any frame below the routine's own was pushed by the interpreter.
Cell* interpreted_q(Cell* const*) {
    CallFrame* own = stack::top_frame();
    for (CallFrame* f = own - 1; f >= stack::frames_bottom(); f--)
        if (f->header & FRAME_INTERP) return answer_logic(true);
    return answer_logic(false);
}

// float-pretty flag: the float former's pretty switch follows the truth of
// the value.
Cell* float_pretty(Cell* const* args) {
    float_::set_pretty(!logic::is_false(args[0]));
    return nullptr;
}

const Entry SYSTEM[] = {
    {"interpreted?", interpreted_q},
    {"float-pretty", float_pretty},
    {nullptr, nullptr},
};

}  // namespace

const Entry* system_entries() { return SYSTEM; }

}  // namespace qor::routines
