// Natives not built yet: each raises internal/not-done.  An entry's stub
// goes away when its native is implemented.
#include "datatypes/raise_seam.hpp"
#include "evaluator/natives.hpp"

namespace qor::natives {

int32_t parse_star(bool, const int32_t*) { raise_error("internal", "not-done"); }

}  // namespace qor::natives
