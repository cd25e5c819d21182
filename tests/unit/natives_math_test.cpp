// The math natives: trigonometry, logarithms, sign and zero tests, max and
// min (scalars, series and compound values), shift and to-hex; and the
// argument checks made when compiled code calls them with check? set.
#include <cstring>
#include <vector>

#include "natives_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class MathNatives : public NativesFixture {
protected:
    void SetUp() override {
        NativesFixture::SetUp();
        // The datatype words that the evaluator fixture did not set (time!
        // registers after it named the datatypes; the others come later),
        // so that the specs' type blocks admit them.
        for (uint32_t t : {TYPE_TIME, TYPE_PERCENT, TYPE_MONEY, TYPE_PAIR, TYPE_TUPLE, TYPE_POINT2D, TYPE_POINT3D,
                           TYPE_DATE})
            set_global(TYPE_NAMES[t], Cell{TYPE_DATATYPE, t, 0, 0});
    }

    static Cell pair(int32_t x, int32_t y) { return Cell{TYPE_PAIR, 0, uint32_t(x), uint32_t(y)}; }
    static Cell point(std::initializer_list<float> xyz) {
        Cell p{xyz.size() == 3 ? uint32_t(TYPE_POINT3D) : uint32_t(TYPE_POINT2D), 0, 0, 0};
        std::memcpy(&p.data1, xyz.begin(), xyz.size() * sizeof(float));
        return p;
    }
    static Cell tuple(std::initializer_list<uint8_t> bytes) {
        Cell t{TYPE_TUPLE | (uint32_t(bytes.size()) << TUPLE_SIZE_SHIFT), 0, 0, 0};
        std::memcpy(&t.data1, bytes.begin(), bytes.size());
        return t;
    }
    static float component(const Cell& p, int i) {
        float f;
        std::memcpy(&f, reinterpret_cast<const uint32_t*>(&p.data1) + i, sizeof f);
        return f;
    }

    // Calls an entry point as compiled code does: the arguments pushed in a
    // native frame, check? set, one slot per refinement.
    Cell call(NativeFn entry, const char* name, std::vector<Cell> args, std::vector<int32_t> refinements) {
        Cell w = *word::make_from_c_string(name);
        stack::Checkpoint cp = stack::checkpoint();
        stack::mark_native(&w);
        for (const Cell& a : args) stack::push(&a);
        try {
            entry(true, refinements.data());
        } catch (const Thrown&) {
            stack::restore(cp);
            throw;
        }
        Cell result = *stack::arguments_base();
        stack::restore(cp);
        return result;
    }
};

TEST_F(MathNatives, Trigonometry) {
    expect_cases({
        {"sine 180", "0.0"},   // the residue of the reduction is flushed
        {"sine 90", "1.0"},
        {"sine -90", "-1.0"},
        {"sine 390", "0.49999999999999994"},
        {"sine 0.0", "0.0"},
        {"cosine 90", "0.0"},
        {"cosine 180", "-1.0"},
        {"cosine -270", "0.0"},
        {"tangent 90", "1.#INF"},
        {"tangent -90", "-1.#INF"},
        {"tangent 270", "-1.#INF"},   // reduced to -90
        {"tangent 0", "0.0"},
        {"sine/radians 0", "0.0"},
        {"cosine/radians 0", "1.0"},
        {"tangent/radians 0.0", "0.0"},
        {"arcsine 1", "90.0"},
        {"arcsine -1", "-90.0"},
        {"arccosine 0", "90.0"},
        {"arccosine -1", "180.0"},
        {"arctangent 1", "45.0"},
        {"arcsine/radians 1", "1.5707963267948966"},
        {"arcsine 2", "1.#NaN"},   // domain errors give the library's NaN
        {"arctangent2 1 1", "45.0"},
        {"arctangent2 0 -1", "180.0"},
        {"arctangent2 -1 0", "-90.0"},
        {"arctangent2/radians 0 -1", "3.141592653589793"},
        {"sine \"a\"", "error script/expect-arg"},
    });
}

TEST_F(MathNatives, LogarithmsExponentAndRoot) {
    expect_cases({
        {"log-2 8", "3.0"},
        {"log-2 1024.0", "10.0"},
        {"log-10 1000", "3.0"},
        {"log-e 1", "0.0"},
        {"log-e 0", "-1.#INF"},
        {"log-e -1", "1.#NaN"},
        {"exp 0", "1.0"},
        {"exp 1", "2.718281828459045"},
        {"square-root 16", "4.0"},
        {"square-root 2", "1.4142135623730951"},
        {"square-root -1", "1.#NaN"},
        {"square-root none", "error script/expect-arg"},
    });
}

TEST_F(MathNatives, SignAndZeroTests) {
    expect_cases({
        {"negative? -1", "true"},
        {"negative? 0", "false"},
        {"negative? -0.0", "false"},
        {"negative? -0:00:01", "true"},
        {"positive? 0", "false"},
        {"positive? 1.5", "true"},
        {"positive? 0:00", "false"},
        {"sign? -7", "-1"},
        {"sign? 0", "0"},
        {"sign? 2.5", "1"},
        {"sign? -1:00", "-1"},
        {"negative? #\"a\"", "error script/expect-arg"},
        {"zero? 0", "true"},
        {"zero? -0.0", "true"},
        {"zero? 0:00", "true"},
        {"zero? #\"^@\"", "true"},
        {"zero? #\"a\"", "false"},
        {"zero? 1", "false"},
        {"zero? \"\"", "error script/expect-arg"},
        {"NaN? square-root -1", "true"},
        {"NaN? 1.0", "false"},
        {"NaN? 1", "false"},
        {"NaN? log-e 0", "false"},
    });
}

TEST_F(MathNatives, SignAndZeroOfLaterTypes) {
    // money!: packed digits after the currency byte, the sign in the header.
    Cell money{TYPE_MONEY | FLAG_MONEY_SIGN, 0x00000100u, 0, 0};
    Cell money_zero{TYPE_MONEY | FLAG_MONEY_SIGN, 0x0000002Au, 0, 0};   // a currency, no digits
    set_global("m", money);
    set_global("m0", money_zero);
    set_global("pct", float_::make(-0.5, TYPE_PERCENT));
    EXPECT_EQ(run_mold("negative? m"), "true");
    EXPECT_EQ(run_mold("sign? m"), "-1");
    EXPECT_EQ(run_mold("sign? m0"), "0");
    EXPECT_EQ(run_mold("zero? m0"), "true");
    EXPECT_EQ(run_mold("zero? m"), "false");
    EXPECT_EQ(run_mold("sign? pct"), "-1");

    struct Zero {
        Cell value;
        bool zero;
    };
    const Zero table[] = {
        {pair(0, 0), true},         {pair(0, 1), false},          {point({0.0f, -0.0f}), true},
        {point({0.0f, 0.5f}), false}, {point({0, 0, 0}), true},     {point({0, 0, 1}), false},
        {tuple({0, 0, 0}), true},   {tuple({0, 0, 0, 1}), false},
    };
    for (const Zero& z : table) {
        set_global("v", z.value);
        EXPECT_EQ(run_mold("zero? v"), z.zero ? "true" : "false") << type_of(&z.value);
    }
}

TEST_F(MathNatives, MaxAndMin) {
    expect_cases({
        {"max 1 2", "2"},
        {"max 2 1", "2"},
        {"min 1 2", "1"},
        {"max 1 2.5", "2.5"},
        {"min 1 2.5", "1"},
        {"max 3 3.0", "3"},   // the first stays when neither is greater
        {"min 3.0 3", "3.0"},
        {"max \"abc\" \"abd\"", "\"abd\""},
        {"min [1 2] [1 3]", "[1 2]"},
        {"max #\"a\" #\"b\"", "#\"b\""},
        {"max 0:01 0:02", "0:02:00"},
        {"max [1] 2", "error script/invalid-compare"},
        {"max none 1", "error script/expect-arg"},
    });
}

TEST_F(MathNatives, MaxAndMinOfCompoundValues) {
    auto both = [&](Cell a, Cell b, const char* op) {
        set_global("a", a);
        set_global("b", b);
        return run(std::string(op) + " a b");
    };
    Cell r = both(pair(1, 9), pair(5, 2), "max");
    EXPECT_EQ(type_of(&r), TYPE_PAIR);
    EXPECT_EQ(int32_t(r.data2), 5);
    EXPECT_EQ(int32_t(r.data3), 9);
    r = both(pair(1, 9), pair(5, 2), "min");
    EXPECT_EQ(int32_t(r.data2), 1);
    EXPECT_EQ(int32_t(r.data3), 2);
    r = both(integer::make(4), pair(1, 9), "max");   // a number counts for every component
    EXPECT_EQ(type_of(&r), TYPE_PAIR);
    EXPECT_EQ(int32_t(r.data2), 4);
    EXPECT_EQ(int32_t(r.data3), 9);
    r = both(pair(1, 9), float_::make(2.5), "max");   // a float factor gives a point2D!
    EXPECT_EQ(type_of(&r), TYPE_POINT2D);
    EXPECT_EQ(component(r, 0), 2.5f);
    EXPECT_EQ(component(r, 1), 9.0f);
    r = both(point({1, 5, -3}), point({2, 0, -1}), "min");
    EXPECT_EQ(type_of(&r), TYPE_POINT3D);
    EXPECT_EQ(component(r, 0), 1.0f);
    EXPECT_EQ(component(r, 1), 0.0f);
    EXPECT_EQ(component(r, 2), -3.0f);
    r = both(tuple({1, 200, 3}), tuple({9, 8, 7, 6}), "max");   // the longer tuple's length
    EXPECT_EQ(type_of(&r), TYPE_TUPLE);
    EXPECT_EQ((r.header >> TUPLE_SIZE_SHIFT) & 15u, 4u);
    const uint8_t want[4] = {9, 200, 7, 6};
    EXPECT_EQ(std::memcmp(&r.data1, want, 4), 0);

    set_global("a", point({1, 2}));
    set_global("b", point({1, 2, 3}));
    EXPECT_EQ(run_mold("max a b"), "error script/invalid-compare");
    set_global("b", tuple({1, 2, 3}));
    EXPECT_EQ(run_mold("max a b"), "error script/invalid-compare");
}

TEST_F(MathNatives, Shift) {
    expect_cases({
        {"shift 256 4", "16"},
        {"shift -8 1", "-4"},
        {"shift -8 40", "-1"},
        {"shift 8 40", "0"},
        {"shift 8 -3", "8"},   // a negative count counts as 0
        {"shift/logical -8 1", "2147483644"},
        {"shift/logical -8 32", "0"},
        {"shift/left 1 31", "-2147483648"},
        {"shift/left 1 32", "0"},
        {"shift/left 3 2", "12"},
        {"shift/left/logical 3 2", "12"},
    });
}

TEST_F(MathNatives, ToHex) {
    expect_cases({
        {"to-hex 255", "#000000FF"},
        {"to-hex -1", "#FFFFFFFF"},
        {"to-hex 0", "#00000000"},
        {"to-hex/size 255 2", "#FF"},
        {"to-hex/size 255 1", "#F"},
        {"to-hex/size 255 12", "#000000FF"},
        {"to-hex/size 255 0", "error script/invalid-arg"},
        {"to-hex/size 255 -3", "error script/invalid-arg"},
        {"to-hex 1.5", "error script/expect-arg"},
    });
}

TEST_F(MathNatives, CompiledCallsCheckTheirArguments) {
    Cell text = string::from_utf8("x");
    gc::CellRoot keep(&text);
    struct Bad {
        NativeFn entry;
        const char* name;
        std::vector<Cell> args;
        std::vector<int32_t> refinements;
    };
    const Bad bad[] = {
        {natives::sine_star, "sine", {text}, {-1}},
        {natives::arctangent2_star, "arctangent2", {integer::make(1), text}, {-1}},
        {natives::log_e_star, "log-e", {text}, {}},
        {natives::negative_q_star, "negative?", {text}, {}},
        {natives::zero_q_star, "zero?", {text}, {}},
        {natives::max_star, "max", {integer::make(1), Cell{TYPE_NONE, 0, 0, 0}}, {}},
        {natives::shift_star, "shift", {integer::make(1), text}, {-1, -1}},
        {natives::to_hex_star, "to-hex", {integer::make(1), text}, {1}},
    };
    for (const Bad& b : bad) {
        EXPECT_THROW(call(b.entry, b.name, b.args, b.refinements), Thrown) << b.name;
        EXPECT_EQ(last_raised_error().id, "expect-arg") << b.name;
    }
    // An unused refinement's argument cell is not looked at.
    Cell r = call(natives::to_hex_star, "to-hex", {integer::make(255), text}, {-1});
    EXPECT_EQ(test::spelling_of(int32_t(r.data2)), "000000FF");
    r = call(natives::shift_star, "shift", {integer::make(1), integer::make(4)}, {1, -1});
    EXPECT_EQ(integer::get_value(&r), 16);
    r = call(natives::sine_star, "sine", {integer::make(90)}, {-1});
    EXPECT_EQ(cell_float(&r), 1.0);
}

}  // namespace
}  // namespace qor
