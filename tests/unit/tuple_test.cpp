// tuple!: path writes on the cell (clamping, cutting with none, the owner's
// notice) and the constructors that other modules call.  The rest is tested
// as Qor scripts under tests/qor/tuple/.
#include "datatypes/tuple.hpp"

#include <gtest/gtest.h>

#include <string>

#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/stack.hpp"
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::raised_by;

class TupleType : public test::RuntimeFixture {};

std::string text_of(const Cell& t) {
    std::string s;
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(&t, bytes);
    for (uint32_t i = 0; i < tuple::count(&t); i++) s += (i ? "." : "") + std::to_string(bytes[i]);
    return s;
}

Cell tup(std::initializer_list<uint8_t> bytes) { return tuple::make(uint32_t(bytes.size()), bytes.begin()); }

void write(Cell* t, int32_t index, const Cell& value) {
    stack::seam_start_call();
    Cell element = integer::make(index), v = value, p = test::none_cell();
    tuple_eval_path(t, &element, &v, &p, nullptr, nullptr, 1, false, 0, true, false);
}

TEST_F(TupleType, PathWrites) {
    Cell t = tup({1, 2, 3, 4, 5});
    write(&t, 2, integer::make(300));
    EXPECT_EQ(text_of(t), "1.255.3.4.5");
    write(&t, 2, integer::make(-5));
    EXPECT_EQ(text_of(t), "1.0.3.4.5");
    write(&t, 5, integer::make(9));
    EXPECT_EQ(text_of(t), "1.0.3.4.9");
    write(&t, 5, test::none_cell());
    EXPECT_EQ(text_of(t), "1.0.3.4");
    write(&t, 2, test::none_cell());   // never below 3 bytes
    EXPECT_EQ(text_of(t), "1.0.0");
    EXPECT_EQ(t.data1 >> 24, 0u);      // the cut bytes read as 0
    EXPECT_EQ(raised_by([&] { write(&t, 4, integer::make(1)); }).id, "out-of-range");
    EXPECT_EQ(raised_by([&] { write(&t, 0, test::none_cell()); }).id, "out-of-range");
    EXPECT_EQ(raised_by([&] { write(&t, 1, tup({1, 2, 3})); }).id, "invalid-type");
}

int g_field;
Cell g_old, g_new;
void fake_notify(Cell*, const Cell*, const Cell* old_value, const Cell* new_value, int32_t field) {
    g_field = field;
    g_old = *old_value;
    g_new = *new_value;
}

TEST_F(TupleType, PathWriteTellsTheOwner) {
    number_hooks::Hooks saved = number_hooks::get();
    number_hooks::get().notify_path_change = fake_notify;
    Cell t = tup({1, 2, 3}), parent = block::make(1), element = integer::make(3), value = integer::make(7);
    Cell p = test::none_cell();
    g_field = 0;
    tuple_eval_path(&t, &element, &value, &p, &parent, &element, 2, false, 0, true, true);
    EXPECT_EQ(g_field, 3);
    EXPECT_EQ(text_of(g_old), "1.2.3");
    EXPECT_EQ(text_of(g_new), "1.2.7");
    g_field = 0;
    tuple_eval_path(&t, &element, &value, &p, &parent, &element, 2, false, 0, true, false);
    EXPECT_EQ(g_field, 0);
    number_hooks::get() = saved;
}

TEST_F(TupleType, Constructors) {
    stack::seam_start_call();
    EXPECT_EQ(text_of(*tuple::push_new(4, 0x04030201u, 0, 0)), "1.2.3.4");
    uint32_t values[] = {0x1FF, 2};
    Cell padded = *tuple::from_bytes(2, values);
    EXPECT_EQ(text_of(padded), "255.2.0");
    Cell c;
    tuple::from_rgba(&c, 10, 20, 30, -1);
    EXPECT_EQ(text_of(c), "10.20.30");
    tuple::from_rgba(&c, 10, 20, 30, 0);
    EXPECT_EQ(text_of(c), "10.20.30.0");
    EXPECT_FALSE(tuple::all_zero_q(&c));
    Cell zero = tup({0, 0, 0, 0});
    EXPECT_TRUE(tuple::all_zero_q(&zero));
}

}  // namespace
}  // namespace qor
