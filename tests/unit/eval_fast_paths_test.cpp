// Fast paths of compiled code and C++ natives.
#include "evaluator/fast_paths.hpp"

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class FastPaths : public RuntimeFixture {
protected:
    Cell word(const char* name) { return global(name); }
    Cell pop_result() {
        Cell r = *stack::top_value();
        stack::pop(1);
        return r;
    }
};

TEST_F(FastPaths, IntegerMathOverflowsIntoFloat) {
    Cell w = *word::make_from_c_string("add");
    struct Case {
        int32_t op, a, b;
        uint32_t type;
        double expected;
    } cases[] = {
        {fast::ADD, 2147483647, 1, TYPE_FLOAT, 2147483648.0},
        {fast::MULTIPLY, 65536, 65536, TYPE_FLOAT, 4294967296.0},
        {fast::SUBTRACT, -2147483647 - 1, 1, TYPE_FLOAT, -2147483649.0},
        {fast::ADD, 2, 3, TYPE_INTEGER, 5},
        {fast::OR, 12, 3, TYPE_INTEGER, 15},
        {fast::AND, 12, 4, TYPE_INTEGER, 4},
        {fast::XOR, 12, 4, TYPE_INTEGER, 8},
    };
    Cell* before = stack::arguments_top();
    for (const Case& c : cases) {
        Cell a = integer::make(c.a), b = integer::make(c.b);
        Cell r = *fast::math(c.op, &w, &a, &b);
        stack::pop(1);
        ASSERT_EQ(type_of(&r), c.type) << c.a << " op " << c.op;
        double got = c.type == TYPE_FLOAT ? cell_float(&r) : double(int32_t(r.data2));
        EXPECT_EQ(got, c.expected);
    }
    EXPECT_EQ(stack::arguments_top(), before);
    Cell a = integer::make(7);
    EXPECT_EQ(fast::math_imm(fast::MULTIPLY, &w, &a, 6)->data2, 42u);
    stack::pop(1);
    stack::push(&a);
    fast::math_top_imm(fast::SUBTRACT, &w, 2);
    EXPECT_EQ(stack::arguments_top(), before + 1);
    EXPECT_EQ(pop_result().data2, 5u);
}

TEST_F(FastPaths, OtherTypesGoThroughTheAction) {
    Cell w = *word::make_from_c_string("or~");
    Cell x = test::float_cell(1.5), y = test::float_cell(2.0);
    Cell r = *fast::math(fast::ADD, &w, &x, &y);
    stack::pop(1);
    EXPECT_EQ(cell_float(&r), 3.5);
    RaisedError e = test::raised_by([&] { fast::math(fast::OR, &w, &x, &y); });
    EXPECT_EQ(e.id, "expect-arg");   // float! has no or~: the action decides
    stack::init();
    Cell i = integer::make(2);
    r = *fast::math(fast::ADD, &w, &i, &x);   // integer + float: through add
    stack::pop(1);
    EXPECT_EQ(cell_float(&r), 3.5);
    EXPECT_TRUE(stack::frames_empty());
}

TEST_F(FastPaths, Comparisons) {
    Cell w = *word::make_from_c_string("lesser?");
    Cell one = integer::make(1), two = integer::make(2), half = test::float_cell(1.5);
    Cell* before = stack::arguments_top();
    EXPECT_EQ(fast::compare(3, &w, &one, &two)->data1, 1u);
    stack::pop(1);
    EXPECT_EQ(fast::compare(3, &w, &one, &half)->data1, 1u);   // through compare-op
    stack::pop(1);
    EXPECT_TRUE(fast::compare_keep(2, &w, &one, &one));
    EXPECT_FALSE(fast::compare_cells(5, &w, &one, &half));
    EXPECT_TRUE(fast::compare_imm_keep(6, &w, &two, 2));
    EXPECT_FALSE(fast::compare_imm2(1, &w, &two, 2));
    EXPECT_EQ(stack::arguments_top(), before);
    stack::push(&two);
    fast::compare_top_imm(5, &w, 1);
    EXPECT_EQ(stack::top_type(), uint32_t(TYPE_LOGIC));
    EXPECT_EQ(pop_result().data1, 1u);
    EXPECT_EQ(stack::arguments_top(), before);
}

TEST_F(FastPaths, PickAndSeriesOps) {
    Cell w = *word::make_from_c_string("pick");
    Cell b = test::ints({10, 20, 30});
    gc::CellRoot keep(&b);
    struct Case {
        int32_t index;
        uint32_t type;
        uint32_t value;
    } picks[] = {{1, TYPE_INTEGER, 10}, {3, TYPE_INTEGER, 30}, {0, TYPE_NONE, 0}, {4, TYPE_NONE, 0}, {-1, TYPE_NONE, 0}};
    for (const auto& c : picks) {
        Cell r = *fast::pick(&b, c.index, &w);
        stack::pop(1);
        EXPECT_EQ(type_of(&r), c.type) << c.index;
        if (c.type == TYPE_INTEGER) {
            EXPECT_EQ(r.data2, c.value);
        }
    }
    Cell s = string::from_utf8("abc");
    gc::CellRoot keep_s(&s);
    Cell r = *fast::pick(&s, 2, &w);    // a string through eval-path
    stack::pop(1);
    EXPECT_EQ(type_of(&r), TYPE_CHAR);
    EXPECT_EQ(r.data2, uint32_t('b'));

    Cell tail = b;
    tail.data1 = 3;
    struct Op {
        const Cell* series;
        int32_t op;
        uint32_t type;
        uint32_t value;   // integer, logic, or the index of a series result
    } ops[] = {
        {&b, fast::LENGTH_Q, TYPE_INTEGER, 3}, {&b, fast::INDEX_Q, TYPE_INTEGER, 1},
        {&b, fast::HEAD_Q, TYPE_LOGIC, 1},     {&tail, fast::TAIL_Q, TYPE_LOGIC, 1},
        {&b, fast::BACK, TYPE_BLOCK, 0},       {&tail, fast::NEXT, TYPE_BLOCK, 3},
        {&b, fast::NEXT, TYPE_BLOCK, 1},       {&tail, fast::HEAD, TYPE_BLOCK, 0},
        {&b, fast::TAIL, TYPE_BLOCK, 3},
    };
    for (const Op& o : ops) {
        Cell v = *fast::series_op(o.series, o.op, &w);
        stack::pop(1);
        ASSERT_EQ(type_of(&v), o.type) << o.op;
        uint32_t got = o.type == TYPE_INTEGER ? v.data2 : v.data1;
        EXPECT_EQ(got, o.value) << o.op;
    }
    Cell len = *fast::series_op(&s, fast::LENGTH_Q, &w);   // a string through the action
    stack::pop(1);
    EXPECT_EQ(len.data2, 3u);
}

}  // namespace
}  // namespace qor
