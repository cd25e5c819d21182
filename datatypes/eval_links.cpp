// The evaluator's links for objects and errors (see eval_links.hpp).
#include "datatypes/eval_links.hpp"

namespace qor::eval_links {

namespace {
Links g_links;
}

Links& get() { return g_links; }

}  // namespace qor::eval_links
