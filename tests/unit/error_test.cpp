// error!: making errors from codes, names and texts, the report form of the
// printer, raising through the catalog, and the helpers the evaluator uses.
#include "datatypes/error.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

// The error printer and the stack capture are tested over links that each
// test installs: the evaluator's own (but eval_block) are taken out.
class Errors : public ObjectFixture {
protected:
    void SetUp() override {
        ObjectFixture::SetUp();
        saved_links_ = eval_links::get();
        eval_links::get() = eval_links::Links{};
        eval_links::get().eval_block = saved_links_.eval_block;
    }
    void TearDown() override {
        eval_links::get() = saved_links_;
        ObjectFixture::TearDown();
    }
    eval_links::Links saved_links_;

    Cell make(Cell spec) {
        gc::CellRoot keep(&spec);
        Cell dt{TYPE_DATATYPE, TYPE_ERROR, 0, 0};
        open_call();
        Cell e = *error::error_make(&dt, &spec);
        stack::pop(1);
        return e;
    }
    static std::string name_of(const Cell* w) { return spelling_of(int32_t(w->data2)); }
    static std::string ids_of(const Cell& e) {
        return name_of(error::field(&e, ERR_TYPE)) + "/" + name_of(error::field(&e, ERR_ID)) + " " +
               std::to_string(int32_t(error::field(&e, ERR_CODE)->data2));
    }
};

TEST_F(Errors, MakeFromCodesNamesAndText) {
    EXPECT_EQ(ids_of(make(integer::make(300))), "script/no-value 300");
    EXPECT_EQ(ids_of(make(integer::make(904))), "internal/stack-overflow 904");
    EXPECT_EQ(ids_of(make(integer::make(0))), "throw/break 0");
    EXPECT_EQ(ids_of(make(first_of("[math zero-divide]"))), "math/zero-divide 400");
    EXPECT_EQ(ids_of(make(first_of("[code: 1 type: 'access id: 'no-codec]"))), "access/no-codec 512");

    Cell e = make(first_of("[math zero-divide]"));
    gc::CellRoot keep(&e);
    EXPECT_EQ(type_of(&e), TYPE_ERROR);
    Cell* type = error::field(&e, ERR_TYPE);
    EXPECT_EQ(word::context_of(type), object::context_of(error_catalog::installed()));
    EXPECT_EQ(error::get_type(&e), sym("math"));
    EXPECT_EQ(error::get_id(&e), sym("zero-divide"));
    EXPECT_EQ(object::class_of(&e), object::BOOT_CLASS);   // the prototype's

    Cell user = make(string::from_utf8("boom"));
    gc::CellRoot ku(&user);
    EXPECT_EQ(ids_of(user), "user/message 800");
    EXPECT_EQ(form_text(*error::field(&user, ERR_ARG1)), "boom");

    struct Bad {
        Cell spec;
        const char* error;
        const char* arg;   // the spelling of arg1 when it is a word
    };
    Bad bad[] = {
        {integer::make(399), "script/out-of-range", nullptr},
        {integer::make(-1), "script/out-of-range", nullptr},
        {integer::make(1000), "script/out-of-range", nullptr},
        {integer::make(606), "script/out-of-range", nullptr},   // reserved1 has no ids
        {first_of("[bogus zero-divide]"), "script/invalid-spec-field", "type"},
        {first_of("[math]"), "script/invalid-spec-field", "id"},
        {first_of("[math nope]"), "script/invalid-spec-field", "id"},
        {first_of("[math 5]"), "script/invalid-arg", nullptr},
        {first_of("[type: 'math id: 'nope]"), "script/invalid-spec-field", "id"},
        {first_of("[5 zero-divide]"), "internal/invalid-error", nullptr},
        {float_cell(1.5), "script/bad-make-arg", nullptr},
    };
    for (Bad& b : bad) {
        gc::CellRoot kb(&b.spec);
        EXPECT_EQ(raised_id([&] { make(b.spec); }), b.error) << mold_text(b.spec);
        if (b.arg) {
            EXPECT_EQ(spelling_of(int32_t(last_raised_error().args[0].value.data2)), b.arg);
        }
    }
}

// ---- The report form --------------------------------------------------------------------------

struct Report {
    const char* category;
    const char* id;
    std::vector<const char*> args;   // source text of each argument
    std::string text;
};

TEST_F(Errors, ReportForms) {
    std::string long_arg(100, 'x');
    std::string long_arg_text = "\"" + long_arg + "\"";
    const Report reports[] = {
        {"script", "no-value", {"foo"}, "*** Script Error: foo has no value"},
        {"script", "expect-arg", {"append", "series", "integer!"},
         "*** Script Error: append does not allow series for its integer! argument"},
        {"script", "invalid-arg", {"\"x\""}, "*** Script Error: invalid argument: \"x\""},
        {"script", "invalid-arg", {"[a  b]"}, "*** Script Error: invalid argument: [a b]"},
        {"syntax", "invalid", {"\"word\"", "\"1a\"", "\"line 3\""}, "*** Syntax Error: word invalid 1a at line 3"},
        {"math", "zero-divide", {}, "*** Math Error: attempt to divide by zero"},
        {"note", "no-load", {"\"f\""}, "*** note: cannot load:  \"f\""},
        {"internal", "deprecated", {"old", "new"}, "*** Internal Error: old is DEPRECATED, please use new instead"},
        {"throw", "throw", {"5"}, "*** Throw Error: no catch for throw: 5"},
        {"access", "invalid-port", {}, "*** Access Error: invalid port object (invalid field values)"},
        {"script", "parse-infinite", {"rule"}, "*** Script Error: PARSE - infinite recursion at rule: [ rule ]"},
        {"script", "invalid-arg", {long_arg_text.c_str()},
         "*** Script Error: invalid argument: {" + std::string(79, 'x')},   // long strings mold in braces
    };
    for (const Report& r : reports) {
        Cell args[3] = {none_cell(), none_cell(), none_cell()};
        gc::CellRoot keep(args, 3);
        for (size_t i = 0; i < r.args.size(); i++) args[i] = first_of(r.args[i]);
        Cell e = error::make_from_names(r.category, r.id, r.args.size() > 0 ? &args[0] : nullptr,
                                        r.args.size() > 1 ? &args[1] : nullptr, r.args.size() > 2 ? &args[2] : nullptr);
        gc::CellRoot ke(&e);
        EXPECT_EQ(form_text(e), r.text + "\n*** Where: ???\n*** Near : none")
            << r.category << "/" << r.id;
    }
}

TEST_F(Errors, ReportWhereNearStackAndFiles) {
    Cell e = error::make_from_names("math", "zero-divide");
    gc::CellRoot keep(&e);
    const std::string head = "*** Math Error: attempt to divide by zero";

    *error::field(&e, ERR_WHERE) = global_word("divide");
    *error::field(&e, ERR_NEAR) = load_source("1 / 0 print \"a fairly long piece of code that runs on\"");
    EXPECT_EQ(form_text(e), head + "\n*** Where: divide\n*** Near : 1 / 0 print \"a fairly long piece of code");

    *error::field(&e, ERR_WHERE) = string::from_utf8("in here");
    *error::field(&e, ERR_NEAR) = load_source("[a]");
    EXPECT_EQ(form_text(e), head + "\n*** Where: in here\n*** Near : [a]");

    // The stack shows only when the depth setting (the system object's) is above 0.
    *error::field(&e, ERR_WHERE) = none_cell();
    *error::field(&e, ERR_STACK) = load_source("f g");
    const std::string tail = "\n*** Where: ???\n*** Near : [a]";
    eval("system/state/stack-trace: 0");
    EXPECT_EQ(form_text(e), head + tail);
    eval("system/state/stack-trace: 2");
    EXPECT_EQ(form_text(e), head + tail + "\n*** Stack: f g");
    eval_links::get().list_calls = [](int32_t depth, int32_t frame, Cell* out, int32_t limit) {
        std::string s = "frames from " + std::to_string(frame) + " depth " + std::to_string(depth);
        string::append_ascii(out, s.c_str(), s.size());
        return limit - int32_t(s.size());
    };
    *error::field(&e, ERR_STACK) = integer::make(7);
    EXPECT_EQ(form_text(e), head + tail + "\n*** Stack: frames from 7 depth 2");
    eval("system/state/stack-trace: 0");

    *error::field(&e, ERR_FILES) = load_source("\"first-script.qor\" \"second-script.qor\" \"third.qor\"");
    EXPECT_EQ(form_text(e), head + tail + "\n*** Files: \"first-script.qor\" \"second-script.qor\" \"");
}

TEST_F(Errors, UnknownNamesPrintAsInvalidError) {
    Cell e = error::make_from_names("math", "zero-divide");
    gc::CellRoot keep(&e);
    *error::field(&e, ERR_TYPE) = global_word("bogus");
    EXPECT_EQ(form_text(e), "*** Internal Error: invalid error object field value: bogus\n*** Where: ???\n*** Near : none");
    EXPECT_EQ(spelling_of(error::get_type(&e)), "internal");
    EXPECT_EQ(spelling_of(error::get_id(&e)), "invalid-error");

    Cell f = error::make_from_names("math", "zero-divide");
    gc::CellRoot kf(&f);
    *error::field(&f, ERR_ID) = global_word("nope");
    EXPECT_EQ(form_text(f), "*** Internal Error: invalid error object field value: nope\n*** Where: ???\n*** Near : none");

    // A message that is neither text nor a block: the category is written,
    // the error becomes invalid-error, and the message is left out.
    Cell g = error::make_from_names("user", "message", &e);
    gc::CellRoot kg(&g);
    EXPECT_EQ(form_text(g), "*** User Error: \n*** Where: ???\n*** Near : none");
    EXPECT_EQ(spelling_of(error::get_id(&g)), "invalid-error");
}

TEST_F(Errors, MoldCompareAndPaths) {
    Cell e = make(first_of("[math zero-divide]"));
    gc::CellRoot keep(&e);
    EXPECT_EQ(mold_with(e, false, false, true),
              "make error! [code: 400 type: 'math id: 'zero-divide arg1: none arg2: none arg3: none "
              "near: none where: none stack: none files: none]");
    EXPECT_EQ(mold_with(e, true, false, true).substr(0, 10), "code: 400 ");

    Cell same = make(first_of("[math zero-divide]"));
    Cell other = make(integer::make(401));
    gc::CellRoot ks(&same), ko(&other);
    EXPECT_EQ(error::error_compare(&e, &same, COMP_EQUAL), 0);
    EXPECT_NE(error::error_compare(&e, &other, COMP_EQUAL), 0);
    EXPECT_EQ(type_of(&same), TYPE_ERROR);   // restored after the comparison
    Cell obj = make_object("a: 1");
    EXPECT_EQ(error::error_compare(&e, &obj, COMP_EQUAL), COMPARE_INCOMPARABLE);

    Cell code = loose_word("code");
    EXPECT_EQ(error::error_eval_path(&e, &code, nullptr, nullptr, nullptr, nullptr, 0, false, 0, true, false)->data2,
              400u);
    Cell where = global_word("here");
    error::set_where_if_none(&e, &where);
    Cell there = global_word("there");
    error::set_where_if_none(&e, &there);
    EXPECT_EQ(spelling_of(int32_t(error::field(&e, ERR_WHERE)->data2)), "here");
    EXPECT_EQ(error::stack_field_index(), 8u);
}

TEST_F(Errors, RaiseBuildsTheErrorValue) {
    static Cell hooked;
    hooked = none_cell();
    gc::CellRoot keep_hooked(&hooked);
    eval_links::get().raise = ([](Cell* e) { hooked = *e; });
    Cell dt{TYPE_DATATYPE, TYPE_INTEGER, 0, 0};
    EXPECT_EQ(raised_id([&] { raise_error("script", "expect-arg", "append", &dt, "value"); }), "script/expect-arg");
    Cell e = *errors::last_raised();
    gc::CellRoot keep(&e);
    ASSERT_EQ(type_of(&e), TYPE_ERROR);
    EXPECT_EQ(form_text(e),
              "*** Script Error: append does not allow integer! for its value argument\n*** Where: ???\n*** Near : none");
    EXPECT_EQ(type_of(&hooked), TYPE_ERROR);
    EXPECT_EQ(hooked.data1, e.data1);
    eval_links::get().raise = (nullptr);
    // The plain record reads as before.
    const RaisedError& r = last_raised_error();
    EXPECT_EQ(r.args[0].word, "append");
    EXPECT_EQ(r.args[1].value.data1, uint32_t(TYPE_INTEGER));

    // Compiled code names the error by words.
    Cell cat = global_word("math"), id = global_word("overflow");
    EXPECT_EQ(raised_id([&] { errors::raise_words(&cat, &id, &dt); }), "math/overflow");
    EXPECT_EQ(int32_t(error::field(errors::last_raised(), ERR_CODE)->data2), 401);
    EXPECT_EQ(error::field(errors::last_raised(), ERR_ARG1)->data1, uint32_t(TYPE_INTEGER));

    // A name the catalog lacks: the raise still happens, the record tells
    // what it was, and no value is pending.
    EXPECT_EQ(raised_id([] { raise_error("script", "no-such-error"); }), "script/no-such-error");
    EXPECT_EQ(type_of(errors::last_raised()), TYPE_NONE);

    // Without a catalog: only the record.
    error_catalog::uninstall();
    EXPECT_EQ(raised_id([] { raise_error("math", "overflow"); }), "math/overflow");
    EXPECT_EQ(type_of(errors::last_raised()), TYPE_NONE);

    // throw_error keeps any value as the pending error.
    try {
        errors::throw_error(&e);
        FAIL();
    } catch (const Thrown& t) {
        EXPECT_EQ(t.code, THROW_ERROR);
        EXPECT_EQ(errors::last_raised()->data1, e.data1);
    }
}

TEST_F(Errors, ArgumentWordAndStackCapture) {
    EXPECT_EQ(spelling_of(int32_t(error::argument_word(0).data2)), "<anon>");
    static Cell call_word;
    call_word = global_word("my-func");
    gc::CellRoot keep_word(&call_word);
    Cell fn = make_function("[first :second /opt third]", "[]");
    gc::CellRoot keep_fn(&fn);
    context::set_word_value(&call_word, &fn);
    eval_links::get().current_call = [] { return static_cast<const Cell*>(&call_word); };
    EXPECT_EQ(spelling_of(int32_t(error::argument_word(1).data2)), "second");
    EXPECT_EQ(spelling_of(int32_t(error::argument_word(2).data2)), "opt");
    EXPECT_EQ(spelling_of(int32_t(error::argument_word(4).data2)), "<anon>");
    Cell one = integer::make(1);
    context::set_word_value(&call_word, &one);
    EXPECT_EQ(spelling_of(int32_t(error::argument_word(0).data2)), "<anon>");

    Cell e = error::make_from_names("math", "overflow");
    gc::CellRoot keep(&e);
    *error::field(&e, ERR_STACK) = integer::make(3);
    eval_links::get().print_calls = [](int32_t depth, Cell* block, int32_t frame) {
        for (int32_t i = 0; i < depth; i++) {
            Cell n = integer::make(frame + i);
            block::append_copy(block, &n);
        }
    };
    eval("system/state/stack-trace: 2 system/state/source-files: [\"a.qor\"]");
    error::attach_stack(&e);
    EXPECT_EQ(mold_text(*error::field(&e, ERR_STACK)), "[3 4]");
    EXPECT_EQ(mold_text(*error::field(&e, ERR_FILES)), "[\"a.qor\"]");
    error::attach_stack(&e);   // a block is left alone
    EXPECT_EQ(mold_text(*error::field(&e, ERR_STACK)), "[3 4]");
}

}  // namespace
}  // namespace qor
