// tag!, email! and ref!: their written forms (with the limit each form
// accounts for), reading them back, comparison, email!'s path access and
// the actions each type lacks (an unsupported action refuses its argument:
// script/expect-arg).
#include <gtest/gtest.h>

#include <string>

#include "natives_fixture.hpp"

namespace qor {
namespace {

struct Expr {
    const char* code;
    const char* result;
};

class TagEmailRefTest : public test::NativesFixture {
protected:
    // Each code's value, molded (errors as "error category/id").
    void check(std::initializer_list<Expr> cases) {
        for (const Expr& e : cases) EXPECT_EQ(run_mold(e.code), e.result) << e.code;
    }
};

struct FormCase {
    const char* source;
    uint32_t type;
    const char* mold;
    const char* form;
};

// mold_of and form_of also check that the remaining limit matches the text.
TEST_F(TagEmailRefTest, MoldAndForm) {
    const FormCase cases[] = {
        {"<b>", TYPE_TAG, "<b>", "<b>"},
        {R"(<a href="x.html">)", TYPE_TAG, R"(<a href="x.html">)", R"(<a href="x.html">)"},
        {"<caf\xc3\xa9>", TYPE_TAG, "<caf\xc3\xa9>", "<caf\xc3\xa9>"},
        {"user@example.com", TYPE_EMAIL, "user@example.com", "user@example.com"},
        {"j.doe@mail.example.org", TYPE_EMAIL, "j.doe@mail.example.org", "j.doe@mail.example.org"},
        {"@x", TYPE_REF, "@x", "x"},
        {"@name-1", TYPE_REF, "@name-1", "name-1"},
        {"@\xc3\xa9t\xc3\xa9", TYPE_REF, "@\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},
    };
    for (const FormCase& c : cases) {
        SCOPED_TRACE(c.source);
        Cell v = test::first_of(c.source);
        gc::CellRoot keep(&v);
        ASSERT_EQ(type_of(&v), c.type);
        EXPECT_EQ(test::mold_of(v), c.mold);
        EXPECT_EQ(test::form_of(v), c.form);
    }
}

// What mold writes loads back as an equal value of the same type, also
// after the text was changed by series actions.
TEST_F(TagEmailRefTest, MoldLoadsBack) {
    const char* const sources[] = {
        "<b>", "<br/>", R"(<img src="a b.png">)", "<\xe4\xb8\xad>",
        "a@b", "first.last@sub.example.com", "x_y@h-1.org",
        "@a", "@ref-2", "@\xe4\xb8\xad",
        "next <abc>", "next @xyz", "append <a> \"b\"", "insert @a \"z\"",
    };
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        std::string once = run_mold(source);
        ASSERT_EQ(once.rfind("error", 0), std::string::npos) << once;
        // A value at an index other than its head molds from the index.
        EXPECT_EQ(run_mold(once), once);
        EXPECT_EQ(run_mold("equal? " + once + " load {" + once + "}"), "true");
        EXPECT_EQ(run_mold("type? load {" + once + "}"), run_mold("type? " + std::string(source)));
    }
}

TEST_F(TagEmailRefTest, Comparison) {
    check({
        {"<a> = <A>", "true"},
        {"<a> == <A>", "false"},
        {"<a> < <b>", "true"},
        {"<b> > <abc>", "true"},
        {"<a> = <a >", "false"},
        {"a@b.c = A@B.C", "true"},
        {"a@b.c == A@B.C", "false"},
        {"@x = @X", "true"},
        {"@x == @x", "true"},
        {"@a < @b", "true"},
        {"same? @x @x", "false"},
        {"r: @x same? r r", "true"},
        {"sort [<c> <a> <B>]", "[<a> <B> <c>]"},
        {"find [a@b <x> @y] <X>", "[<x> @y]"},
        {"find [a@b <x> @y] @Y", "[@y]"},
    });
}

TEST_F(TagEmailRefTest, PathAccess) {
    check({
        {"e: joe@example.com e/user", R"("joe")"},
        {"e: joe@example.com e/host", R"("example.com")"},
        {"e: joe@example.com e/USER", R"("joe")"},
        {"e: joe@example.com type? e/user", "string!"},
        {"e: joe@example.com e/1", "#\"j\""},
        {"e: to email! \"nobody\" reduce [e/user e/host]", R"(["nobody" ""])"},
        {"e: joe@a.com e/host: \"b.org\" e", "joe@b.org"},
        {"e: joe@a@b e/host: \"c\" e", "joe@c"},
        {"e: joe@a.com e/user: \"ann\" e", "ann@a.com"},
        {"e: joe@a.com e/host: \"b.org\"", R"("b.org")"},
        {"e: next joe@a.com e/user", R"("oe")"},
        {"e: joe@a.com e/domain", "error script/invalid-path"},
        {"e: joe@a.com e/(1.5)", "error script/invalid-path"},
        {"t: <abc> t/2", "#\"b\""},
        {"r: @abc r/1", "error script/bad-path-type"},
    });
}

TEST_F(TagEmailRefTest, ActionsEachTypeHasOrLacks) {
    check({
        {"append \"x\" <b>", R"("x<b>")"},
        {"append \"x\" @r", R"("xr")"},
        {"append \"x\" a@b", R"("xa@b")"},
        {"append <a> \"b\"", "<ab>"},
        {"append a@b \".c\"", "a@b.c"},
        {"append @a \"b\"", "error script/expect-arg"},
        {"head insert @a \"z\"", "@za"},
        {"length? <abc>", "3"},
        {"length? @abc", "3"},
        {"sort <cba>", "error script/expect-arg"},
        {"trim a@b", "error script/expect-arg"},
        {"put <a> 1 2", "error script/expect-arg"},
        {"to tag! \"b\"", "<b>"},
        {"to ref! \"x\"", "@x"},
        {"to string! <b>", R"("b")"},
        {"form @x", R"("x")"},
        // email! molds its plain text from the index, "@" and all
        {"mold next a@b.c", R"("@b.c")"},
    });
}

}  // namespace
}  // namespace qor
