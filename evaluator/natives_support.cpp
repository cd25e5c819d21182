// Helpers shared by the natives' files (see natives_support.hpp).
#include "evaluator/natives_support.hpp"

#include "datatypes/raise_seam.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"

namespace qor::natives::support {

void raise_expect_arg(const Cell* value, const char* arg) {
    Cell type{TYPE_DATATYPE, type_of(value), 0, 0};
    Cell call = stack::current_call();
    gc::CellRoot keep(&call);
    Cell word = *word::make_from_c_string(arg);
    raise_error("script", "expect-arg", &call, &type, &word);
}

}  // namespace qor::natives::support
