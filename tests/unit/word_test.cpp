// Words and issues: text forms, comparison, make/to, index?, and the
// constructors and get/set entries the runtime and compiled code use.
#include "datatypes/eval_links.hpp"
#include "datatypes/word.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Word : public RuntimeFixture {};

int32_t int_value(const Cell* c) { return type_of(c) == TYPE_INTEGER ? integer::get_value(c) : -999; }

TEST_F(Word, FormIsTheNameAndMoldAddsTheKindsMark) {
    struct Case {
        uint32_t type;
        const char* mold;
    } cases[] = {
        {TYPE_WORD, "näme"},     {TYPE_SET_WORD, "näme:"},    {TYPE_LIT_WORD, "'näme"},
        {TYPE_GET_WORD, ":näme"}, {TYPE_REFINEMENT, "/näme"}, {TYPE_ISSUE, "#näme"},
    };
    for (const Case& c : cases) {
        Cell w = global_word("näme", c.type);
        gc::CellRoot keep(&w);
        EXPECT_EQ(form_of(w), "näme") << c.mold;
        EXPECT_EQ(mold_of(w), c.mold);
        EXPECT_EQ(mold_of(w, true), c.mold);  // /all changes nothing
    }
    Cell plain = global_word("plain", TYPE_GET_WORD);
    EXPECT_EQ(mold_with(plain, true, true, true), ":plain");
}

TEST_F(Word, MoldUnderALimitCutsTheNameOnly) {
    // Each mark costs one unit; the name is cut where the limit runs out.
    struct Case {
        uint32_t type;
        int32_t limit;
        const char* text;
        int32_t left;
    } cases[] = {
        {TYPE_SET_WORD, 3, "abc:", 3 - 6 - 1},
        {TYPE_LIT_WORD, 3, "'ab", 3 - 1 - 6},
        {TYPE_WORD, 4, "abcd", 4 - 6},
        {TYPE_WORD, 10, "abcdef", 4},
    };
    for (const Case& c : cases) {
        Cell w = global_word("abcdef", c.type);
        gc::CellRoot keep(&w);
        Cell part = integer::make(c.limit);
        Cell out = string::make(8);
        gc::CellRoot keep_out(&out);
        int32_t left = word_mold(&w, &out, false, false, false, &part, c.limit, 0);
        EXPECT_EQ(string::to_utf8(&out), c.text);
        EXPECT_EQ(left, c.left) << c.text;
    }
}

TEST_F(Word, Comparison) {
    Cell a = global_word("a"), big_a = global_word("A"), a_set = global_word("a", TYPE_SET_WORD),
         a_lit = global_word("a", TYPE_LIT_WORD), b = global_word("b"), a_issue = global_word("a", TYPE_ISSUE),
         a_ref = global_word("a", TYPE_REFINEMENT), one = integer::make(1);
    Cell other_ctx = a;
    other_ctx.data1 = 0;
    struct Case {
        const char* what;
        Cell x, y;
        int32_t op, answer;
    } cases[] = {
        {"a = A", a, big_a, COMP_EQUAL, 0},
        {"a = a:", a, a_set, COMP_EQUAL, 0},
        {"a <> b", a, b, COMP_NOT_EQUAL, 1},
        {"a find A", a, big_a, COMP_FIND, 0},
        {"a == A", a, big_a, COMP_STRICT_EQUAL, 1},
        {"a == a:", a, a_set, COMP_STRICT_EQUAL, 1},
        {"a == a", a, a, COMP_STRICT_EQUAL, 0},
        {"same a a", a, a, COMP_SAME, 0},
        {"same other context", a, other_ctx, COMP_SAME, 1},
        {"match a 'a", a, a_lit, COMP_WORD_MATCH, 0},
        {"match 'a a", a_lit, a, COMP_WORD_MATCH, 0},
        {"match a 'A exact", a, global_word("A", TYPE_LIT_WORD), COMP_WORD_MATCH, 1},
        {"match a 'A canonical", a, global_word("A", TYPE_LIT_WORD), COMP_WORD_MATCH_CANONICAL, 0},
        {"match a a:", a, a_set, COMP_WORD_MATCH_CANONICAL, 1},
        {"a < b", a, b, COMP_LESSER, -1},
        {"B > a", global_word("B"), a, COMP_GREATER, 1},
        {"A ? a ignoring case", big_a, a, COMP_LESSER_EQUAL, 0},
        {"a vs /a", a, a_ref, COMP_EQUAL, 0},
        {"a vs #a", a, a_issue, COMP_EQUAL, COMPARE_INCOMPARABLE},
        {"#a vs a", a_issue, a, COMP_EQUAL, COMPARE_INCOMPARABLE},
        {"#a vs #A", a_issue, global_word("A", TYPE_ISSUE), COMP_EQUAL, 0},
        {"a vs 1", a, one, COMP_EQUAL, COMPARE_INCOMPARABLE},
    };
    for (const Case& c : cases) EXPECT_EQ(compare_of(c.x, c.y, c.op), c.answer) << c.what;
}

TEST_F(Word, MakeAndToAWord) {
    Cell word_type = datatype_cell(TYPE_WORD);
    Cell bound = global_word("gamma", TYPE_SET_WORD);
    struct Case {
        const char* what;
        Cell value;
        const char* name;
    } cases[] = {
        {"set-word keeps its binding", bound, "gamma"},
        {"issue", global_word("abc", TYPE_ISSUE), "abc"},
        {"refinement", global_word("ref", TYPE_REFINEMENT), "ref"},
        {"text of a set-word", string::from_utf8("a:"), "a"},
        {"char", Cell{TYPE_CHAR, 0, 'x', 0}, "x"},
        {"datatype", datatype_cell(TYPE_INTEGER), "integer!"},
        {"logic", logic_cell(true), "true"},
    };
    for (Case& c : cases) {
        open_call();
        Cell* v = stack::push(&c.value);
        Cell* r = word_make(&word_type, v);
        EXPECT_EQ(r->header, uint32_t(TYPE_WORD)) << c.what;
        EXPECT_EQ(spelling_of(word::symbol_of(r)), c.name) << c.what;
        EXPECT_EQ(ctx_of(*r), context::global()) << c.what;
        EXPECT_GE(word::index_of(r), 0) << c.what;
    }
    // to with an example: the target is the example's kind.
    open_call();
    Cell example = global_word("x", TYPE_GET_WORD);
    Cell* r = word_make(&example, stack::push(&bound));
    EXPECT_EQ(type_of(r), TYPE_GET_WORD);

    struct Bad {
        const char* what;
        Cell value;
        const char* id;
    } bad[] = {
        {"issue #1", global_word("1", TYPE_ISSUE), "bad-to-arg"},
        {"refinement /a/b", global_word("a/b", TYPE_REFINEMENT), "bad-to-arg"},
        {"integer", integer::make(3), "bad-to-arg"},
        {"text 1", string::from_utf8("1"), "invalid-chars"},
        {"text a b", string::from_utf8("a b"), "invalid-chars"},
    };
    for (Bad& c : bad) {
        open_call();
        Cell* v = stack::push(&c.value);
        RaisedError e = raised_by([&] { word_make(&word_type, v); });
        EXPECT_EQ(e.category, "script") << c.what;
        EXPECT_EQ(e.id, c.id) << c.what;
        if (e.id == "bad-to-arg") {
            EXPECT_EQ(e.args[0].value.header, uint32_t(TYPE_DATATYPE)) << c.what;
            EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_WORD)) << c.what;
            EXPECT_EQ(e.args[1].value.data2, c.value.data2) << c.what;
        }
    }
}

TEST_F(Word, MakeAndToAnIssue) {
    Cell issue_type = datatype_cell(TYPE_ISSUE);
    Cell spaced = string::from_utf8("xa b");
    spaced.data1 = 1;  // from the index
    struct Case {
        const char* what;
        Cell value;
        const char* name;
        int32_t slot;
    } cases[] = {
        {"text with a space", spaced, "a b", -1},
        {"text that is no word", string::from_utf8("1"), "1", -1},
        {"char", Cell{TYPE_CHAR, 0, 0x263A, 0}, "\xE2\x98\xBA", -1},
        {"word keeps its slot", global_word("delta"), "delta", -2},
        {"datatype", datatype_cell(TYPE_BLOCK), "block!", -2},
    };
    for (Case& c : cases) {
        open_call();
        Cell* v = stack::push(&c.value);
        Cell* r = issue_make(&issue_type, v);
        EXPECT_EQ(r->header, uint32_t(TYPE_ISSUE)) << c.what;
        EXPECT_EQ(spelling_of(word::symbol_of(r)), c.name) << c.what;
        if (c.slot == -1) {
            EXPECT_EQ(word::index_of(r), -1) << c.what;
        }
        EXPECT_EQ(ctx_of(*r), context::global()) << c.what;
    }
    open_call();
    Cell n = integer::make(3);
    EXPECT_EQ(raised_by([&] { issue_make(&issue_type, stack::push(&n)); }).id, "bad-to-arg");
}

TEST_F(Word, IndexQAndTheActionTable) {
    Cell w = global_word("epsilon");
    int32_t slot = context::find_symbol(context::global(), sym("epsilon"), false);
    Cell r = run_direct(word_index_q, w);
    EXPECT_EQ(int_value(&r), slot + 1);
    Cell loose = loose_word("zeta");
    r = run_direct(word_index_q, loose);
    EXPECT_EQ(type_of(&r), TYPE_NONE);

    // Inherited and refused slots.
    EXPECT_EQ(registry::action<SLOT_INDEX_Q>(TYPE_SET_WORD), word_index_q);
    EXPECT_EQ(registry::action<SLOT_INDEX_Q>(TYPE_REFINEMENT), nullptr);
    EXPECT_EQ(registry::action<SLOT_INDEX_Q>(TYPE_ISSUE), nullptr);
    EXPECT_EQ(registry::action<SLOT_FORM>(TYPE_ISSUE), word_form);
    EXPECT_EQ(registry::action<SLOT_TO>(TYPE_LIT_WORD), word_make);
    EXPECT_EQ(registry::action<SLOT_COMPARE>(TYPE_ISSUE), issue_compare);
    EXPECT_EQ(registry::action<SLOT_MOLD>(TYPE_GET_WORD), word_mold);
    EXPECT_EQ(registry::action<SLOT_COPY>(TYPE_WORD), nullptr);
}

TEST_F(Word, GetAndSetEntries) {
    Cell w = global_word("eta");
    open_call();
    EXPECT_EQ(raised_by([&] { word::push_value(&w); }).id, "no-value");
    EXPECT_EQ(type_of(get_word::push_value(&w)), TYPE_UNSET);

    // set_checked: the word and the value are the call's arguments.
    open_call();
    stack::push(&w);
    stack::push(unset_value);
    RaisedError e = raised_by([] { word::set_checked(); });
    EXPECT_EQ(e.id, "need-value");
    EXPECT_EQ(e.args[0].value.data2, w.data2);

    open_call();
    Cell six = integer::make(6);
    stack::push(&w);
    stack::push(&six);
    EXPECT_EQ(int_value(word::set_checked()), 6);
    open_call();
    EXPECT_EQ(int_value(word::push_value(&w)), 6);

    // The name string shares the symbol's cached string.
    const Cell* name = word::push_name_string(&w);
    EXPECT_EQ(type_of(name), TYPE_STRING);
    EXPECT_EQ(cell_node(name), symbol::ensure_string(sym("eta")));
}

TEST_F(Word, Constructors) {
    // init_cell: the global slot of a case-insensitive lookup.
    Cell theta = global_word("theta");
    Cell w;
    word::init_cell(&w, sym("THETA"));
    EXPECT_EQ(w.header, uint32_t(TYPE_WORD));
    EXPECT_EQ(w.data2, uint32_t(sym("THETA")));
    EXPECT_EQ(w.data3, theta.data3);

    // make_from_c_string: a case variant gets its own spelling on the slot.
    Cell variant = *word::make_from_c_string("Theta");
    EXPECT_EQ(variant.data2, uint32_t(sym("Theta")));
    EXPECT_EQ(variant.data3, theta.data3);

    Cell block = block::make(2);
    gc::CellRoot keep(&block);
    word::new_in_block(&block, sym("iota"));
    word::make_kind_in_block(&block, "kappa", TYPE_SET_WORD);
    EXPECT_EQ(mold_text(block), "[iota kappa:]");
    open_call();
    EXPECT_EQ(type_of(word::push_new(sym("x"))), TYPE_WORD);
    EXPECT_EQ(type_of(word::make_kind_from_c_string("y", TYPE_LIT_WORD)), TYPE_LIT_WORD);
    EXPECT_EQ(type_of(word::push_retyped(&theta, TYPE_GET_WORD)), TYPE_GET_WORD);

    Cell i;
    issue::init_cell_from_c_string(&i, "tag");
    EXPECT_EQ(i.header, uint32_t(TYPE_ISSUE));
    EXPECT_EQ(ctx_of(i), context::global());
    EXPECT_EQ(word::index_of(&i), -1);

    // Refinements go to the root block, context 0.
    uint32_t before = root_block::length();
    Cell r = *refinement::make_from_c_string("only");
    EXPECT_EQ(root_block::length(), before + 1);
    EXPECT_EQ(r.header, uint32_t(TYPE_REFINEMENT));
    EXPECT_EQ(r.data1, 0u);
    EXPECT_EQ(mold_text(r), "/only");

    // While boot collection runs, new words and issues are recorded there.
    root_block::set_collecting(true);
    before = root_block::length();
    Cell* recorded = word::make_from_c_string("lambda");
    EXPECT_EQ(recorded, root_block::cell_at(before));
    EXPECT_EQ(issue::make_from_c_string("mu"), root_block::cell_at(before + 1));
    EXPECT_EQ(root_block::length(), before + 2);
}

}  // namespace
}  // namespace qor
