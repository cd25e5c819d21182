// The argument checks of natives called with check? set.
#include "evaluator/natives_support.hpp"

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class NativeArgumentChecks : public RuntimeFixture {};

TEST_F(NativeArgumentChecks, TypesAgainstTheSpec) {
    Cell none_allowed{TYPE_TYPESET, 0, 0, 0};
    Cell ints{TYPE_TYPESET, 0, 0, 0};
    typeset_set_bit(&ints, TYPE_INTEGER);
    stack::mark_native(nullptr);
    Cell v = integer::make(1);
    stack::push(&v);
    natives::support::check_arg(true, -1, none_allowed, 0);    // an unused refinement's argument
    natives::support::check_arg(false, 0, none_allowed, 0);    // the caller checked already
    natives::support::check_arg(true, 0, ints, 0);
    RaisedError e = test::raised_by([&] { natives::support::check_arg(true, 0, none_allowed, 0); });
    EXPECT_EQ(e.id, "expect-arg");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_INTEGER));
    stack::init();
}

}  // namespace
}  // namespace qor
