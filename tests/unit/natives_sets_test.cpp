// The set natives over blocks and strings, the refusal of operands whose
// kinds do not combine, and complement?.
#include <vector>

#include "datatypes/typeset.hpp"
#include "natives_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class SetNatives : public NativesFixture {
protected:
    void SetUp() override {
        NativesFixture::SetUp();
        for (uint32_t t : {TYPE_BITSET, TYPE_TYPESET, TYPE_DATE})
            set_global(TYPE_NAMES[t], Cell{TYPE_DATATYPE, t, 0, 0});
    }
};

TEST_F(SetNatives, Blocks) {
    expect_cases({
        {"unique [a b a c b]", "[a b c]"},
        {"unique [a A b]", "[a b]"},
        {"unique/case [a A b]", "[a A b]"},
        {"unique []", "[]"},
        {"unique/skip [a 1 a 1 b 2] 2", "[a 1 b 2]"},
        {"union [a b] [b c]", "[a b c]"},
        {"union [1 1] []", "[1]"},
        {"intersect [a b c] [c a d]", "[a c]"},
        {"intersect [a b] []", "[]"},
        {"exclude [a b c] [b]", "[a c]"},
        {"difference [a b c] [b c d]", "[a d]"},
        {"union next [a b] [c]", "[b c]"},   // from the operands' positions
        {"unique/skip [a 1 b 2] 0", "error script/invalid-refine-arg"},
    });
}

TEST_F(SetNatives, Strings) {
    expect_cases({
        {"unique \"abcabc\"", "\"abc\""},
        {"union \"ab\" \"bc\"", "\"abc\""},
        {"union \"aB\" \"b\"", "\"aB\""},
        {"union/case \"aB\" \"b\"", "\"aBb\""},
        {"intersect \"abc\" \"cd\"", "\"c\""},
        {"exclude \"abc\" \"b\"", "\"ac\""},
        {"difference \"abc\" \"bcd\"", "\"ad\""},
    });
}

TEST_F(SetNatives, OperandsThatDoNotCombine) {
    // A block with text (either way round) is refused before any routine
    // reads the second operand as its own kind.
    expect_cases({
        {"union [a b] \"ab\"", "error script/expect-val"},
        {"intersect \"ab\" [a b]", "error script/expect-val"},
        {"exclude [a] \"a\"", "error script/expect-val"},
        {"difference \"ab\" [a]", "error script/expect-val"},
    });
    RaisedError e = run_error("union [a b] \"ab\"");
    ASSERT_TRUE(e.args[0].given && e.args[1].given);
    EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_BLOCK));
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_STRING));
}

TEST_F(SetNatives, KindsWithOneRoutineOrTheirOwn) {
    // Dates have only difference; typesets combine word by word, and the
    // spec of unique takes none.
    typeset::init();
    Cell date{TYPE_DATE, 0, 0, 0};
    Cell typeset{TYPE_TYPESET, 0x40, 0, 0};     // datatype!
    Cell other{TYPE_TYPESET, 0x1000, 0, 0};     // integer!
    set_global("d", date);
    set_global("ts", typeset);
    set_global("other", other);
    expect_cases({
        {"difference d d", "0:00:00"},
        {"union d d", "error script/expect-arg"},   // a date for another op is refused
        {"union ts other", "make typeset! [datatype! integer!]"},
        {"exclude ts ts", "make typeset! []"},
        {"union ts [1]", "error script/invalid-arg"},
        {"unique ts", "error script/expect-arg"},
    });
    RaisedError e = run_error("union d d");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_DATE));
}

TEST_F(SetNatives, ComplementReadsTheStoredFlag) {
    Cell bits{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep(&bits);
    Node bytes = memory::alloc_bytes(4);
    bits = Cell{TYPE_BITSET, 0, reinterpret_cast<uint32_t>(bytes), 0};
    set_global("bits", bits);
    EXPECT_EQ(run_mold("complement? bits"), "false");
    buffer_of(cell_node(&bits))->flags |= SERIES_BITSET_NOT;
    EXPECT_EQ(run_mold("complement? bits"), "true");
}

TEST_F(SetNatives, CompiledCallsCheckTheirArguments) {
    Cell w = *word::make_from_c_string("union");
    auto call = [&](NativeFn entry, std::vector<Cell> args, std::vector<int32_t> refinements) {
        stack::Checkpoint cp = stack::checkpoint();
        stack::mark_native(&w);
        for (const Cell& a : args) stack::push(&a);
        try {
            entry(true, refinements.data());
        } catch (const Thrown&) {
            stack::restore(cp);
            return last_raised_error().id;
        }
        stack::restore(cp);
        return std::string("ok");
    };
    Cell blk = block::make(1), text = string::from_utf8("a");
    gc::CellRoot keep_blk(&blk), keep_text(&text);
    EXPECT_EQ(call(natives::union_star, {blk, integer::make(1)}, {-1, -1}), "expect-arg");
    EXPECT_EQ(call(natives::unique_star, {blk, text}, {-1, 1}), "expect-arg");   // /skip size
    EXPECT_EQ(call(natives::unique_star, {blk, text}, {-1, -1}), "ok");          // unused: not read
    EXPECT_EQ(call(natives::complement_q_star, {blk}, {}), "expect-arg");
}

}  // namespace
}  // namespace qor
