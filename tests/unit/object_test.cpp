// object!: class ids, making from prototypes, change notification,
// construct, set, reflection, copying, paths, text forms and comparison.
#include "datatypes/object.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"
#include "runtime/ownership.hpp"

namespace qor {
namespace {

using namespace test;

class Objects : public ObjectFixture {};

std::string mold_flags(Cell v, bool only, bool all, bool flat, int32_t indent = 0) {
    return mold_with(v, only, all, flat, nullptr, 100000, indent);
}

TEST_F(Objects, ClassIdsFollowTheShape) {
    Cell a = make_object("x: 1 y: 2");
    gc::CellRoot ka(&a);
    EXPECT_EQ(object::class_of(&a), 1000001);
    Cell same = make_object("x: 5", &a);   // assigns existing fields only
    gc::CellRoot ks(&same);
    EXPECT_EQ(object::class_of(&same), 1000001);
    Cell wider = make_object("z: 3", &a);
    gc::CellRoot kw(&wider);
    EXPECT_EQ(object::class_of(&wider), 1000002);
    Cell other = make_object("x: 1 y: 2");   // same shape, but not made from a prototype
    EXPECT_EQ(object::class_of(&other), 1000003);

    // While the library boots every new shape shares the boot class and the
    // counter stands still, so the first user object still gets 1000004.
    object::set_boot_classes(true);
    Cell boot = make_object("q: 1");
    EXPECT_EQ(object::class_of(&boot), object::BOOT_CLASS);
    object::set_boot_classes(false);
    Cell user = make_object("q: 1");
    EXPECT_EQ(object::class_of(&user), 1000004);
}

TEST_F(Objects, MakeFromPrototypeCopiesSeriesAndRebinds) {
    Cell proto = make_object("name: \"abc\" code: [x] x: 1");
    gc::CellRoot kp(&proto);
    Cell child = make_object("x: 2", &proto);
    gc::CellRoot kc(&child);
    Cell name = field_of(child, "name");
    Cell code = field_of(child, "code");
    EXPECT_NE(cell_node(&name), field_node(proto, "name"));
    EXPECT_NE(cell_node(&code), field_node(proto, "code"));
    EXPECT_EQ(form_text(name), "abc");
    // The word inside the copied block is bound to the child, the
    // prototype's own block still to the prototype.
    Cell inner = *block::cell_at(&code, 0);
    EXPECT_EQ(word::context_of(&inner), object::context_of(&child));
    EXPECT_EQ(integer::get_value(context::get_word_value(&inner)), 2);
    Cell proto_code = field_of(proto, "code");
    Cell proto_inner = *block::cell_at(&proto_code, 0);
    EXPECT_EQ(word::context_of(&proto_inner), object::context_of(&proto));
    // The self cell holds the object itself.
    EXPECT_EQ(context::self_cell(object::context_of(&child))->data1, child.data1);
    EXPECT_EQ(context::self_cell(object::context_of(&child))->data2, child.data2);
}

TEST_F(Objects, MakeFromObjectSpecAddsFields) {
    Cell a = make_object("x: 1 s: \"t\"");
    Cell b = make_object("y: 2");
    gc::CellRoot ka(&a), kb(&b);
    Cell r = *object::make(&a, &b);
    stack::pop(1);
    gc::CellRoot kr(&r);
    EXPECT_EQ(object::field_count(&r), 3u);
    EXPECT_EQ(field_of(r, "y").data2, 2u);
    EXPECT_NE(field_node(r, "s"), field_node(a, "s"));
    EXPECT_EQ(object::class_of(&r), 1000003);

    Cell bad = integer::make(5);
    Cell dt{TYPE_DATATYPE, TYPE_OBJECT, 0, 0};
    EXPECT_EQ(raised_id([&] { object::make(&dt, &bad); }), "syntax/malconstruct");
}

TEST_F(Objects, ReservedFieldsMustHoldFunctions) {
    EXPECT_EQ(raised_id([&] { make_object("on-change*: 1"); }), "script/bad-field-set");
    const RaisedError& e = last_raised_error();
    EXPECT_EQ(spelling_of(int32_t(e.args[0].value.data2)), "on-change*");
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_INTEGER));

    Cell plain = make_object("a: 1");
    EXPECT_EQ(plain.data3, 0u);
    Cell watched = make_object("a: 1 on-change*: func [word old new /local t u] []");
    EXPECT_NE(watched.data3, 0u);
    Cell events = loose_word("events?");
    Cell r = watched;
    object::object_reflect(&r, &events);
    EXPECT_EQ(r.data1, 1u);
}

TEST_F(Objects, AssignmentsFireOnChange) {
    Cell obj = make_object("a: 1 b: 2 on-change*: func [word old new /local t u] []");
    gc::CellRoot keep(&obj);
    recorded_calls.clear();

    // Through a path: the word comes bound to the object, with the old and
    // new value and the defaults of /local (false) and its two words (none).
    Cell element = loose_word("a");
    Cell v = integer::make(10);
    object::object_eval_path(&obj, &element, &v, nullptr, nullptr, nullptr, 0, false, 0, true, false);
    ASSERT_EQ(recorded_calls.size(), 1u);
    std::vector<Cell>& args = recorded_calls[0].args;
    ASSERT_EQ(args.size(), 6u);
    EXPECT_EQ(spelling_of(int32_t(args[0].data2)), "a");
    EXPECT_EQ(word::context_of(&args[0]), object::context_of(&obj));
    EXPECT_EQ(integer::get_value(&args[1]), 1);
    EXPECT_EQ(integer::get_value(&args[2]), 10);
    EXPECT_EQ(type_of(&args[3]), TYPE_LOGIC);
    EXPECT_EQ(args[3].data1, 0u);
    EXPECT_EQ(type_of(&args[4]), TYPE_NONE);
    EXPECT_EQ(type_of(&args[5]), TYPE_NONE);
    EXPECT_EQ(int_field(obj, "a"), 10);

    // Through a word bound to the object (context::set_word_value).
    Cell w = field_of(obj, "a");   // keep the value alive, then take the word
    (void)w;
    Cell bw = *context::word_cell_at(object::context_of(&obj), 1);
    Cell nine = integer::make(9);
    context::set_word_value(&bw, &nine);
    ASSERT_EQ(recorded_calls.size(), 2u);
    EXPECT_EQ(integer::get_value(&recorded_calls[1].args[1]), 2);
    EXPECT_EQ(integer::get_value(&recorded_calls[1].args[2]), 9);

    // Through `set`: every field but the reserved ones, each told once.
    Cell values = load_source("7 8 9");
    object::set_many(&obj, &values, false, false, false);
    ASSERT_EQ(recorded_calls.size(), 4u);
    EXPECT_EQ(int_field(obj, "b"), 8);
    EXPECT_EQ(field_type(obj, "on-change*"), TYPE_FUNCTION);
}

TEST_F(Objects, SetSpreadsChecksAndSkips) {
    Cell obj = make_object("a: 1 b: 2 c: 3");
    gc::CellRoot keep(&obj);
    Cell short_block = load_source("10");
    object::set_many(&obj, &short_block, false, false, false);   // past the end: none
    EXPECT_EQ(int_field(obj, "a"), 10);
    EXPECT_EQ(field_type(obj, "b"), TYPE_NONE);

    Cell with_unset = block_of({integer::make(1), unset_cell(), integer::make(3)});
    gc::CellRoot ku(&with_unset);
    EXPECT_EQ(raised_id([&] { object::set_many(&obj, &with_unset, false, false, false); }), "script/need-value");
    EXPECT_EQ(int_field(obj, "a"), 10);   // nothing assigned on error
    object::set_many(&obj, &with_unset, true, false, false);   // /any
    EXPECT_EQ(field_type(obj, "b"), TYPE_UNSET);

    Cell nones = block_of({none_cell(), integer::make(5), none_cell()});
    gc::CellRoot kn(&nones);
    object::set_many(&obj, &nones, false, false, true);   // /some
    EXPECT_EQ(int_field(obj, "a"), 1);
    EXPECT_EQ(int_field(obj, "b"), 5);

    Cell source = make_object("C: 30 zz: 1");
    gc::CellRoot ks(&source);
    object::set_many(&obj, &source, false, false, false);   // by name, case-insensitive
    EXPECT_EQ(int_field(obj, "c"), 30);
    EXPECT_EQ(int_field(obj, "b"), 5);

    object::set_many(&obj, &nones, false, true, false);   // /only: the block itself
    EXPECT_EQ(field_type(obj, "a"), TYPE_BLOCK);
}

TEST_F(Objects, DeepChangesReachTheOwner) {
    Cell obj = make_object("list: [1 2] on-deep-change*: func [owner word target action new index part] []");
    gc::CellRoot keep(&obj);
    Cell list = field_of(obj, "list");
    EXPECT_NE(owner::get(cell_node(&list)), nullptr);
    Cell owned = loose_word("owner");
    Cell r = obj;
    object::object_reflect(&r, &owned);
    EXPECT_EQ(r.data1, 1u);

    recorded_calls.clear();
    Cell v = integer::make(3);
    Cell action = global_word("append");
    EXPECT_TRUE(owner::notify(&list, &action, &v, 2, 1));
    ASSERT_EQ(recorded_calls.size(), 1u);
    std::vector<Cell>& args = recorded_calls[0].args;
    ASSERT_EQ(args.size(), 7u);
    EXPECT_EQ(args[0].data1, obj.data1);
    EXPECT_EQ(spelling_of(int32_t(args[1].data2)), "list");
    EXPECT_EQ(cell_node(&args[2]), cell_node(&list));
    EXPECT_EQ(spelling_of(int32_t(args[3].data2)), "append");
    EXPECT_EQ(integer::get_value(&args[4]), 3);
    EXPECT_EQ(integer::get_value(&args[5]), 2);
    EXPECT_EQ(integer::get_value(&args[6]), 1);

    Cell plain = make_object("a: 1");
    gc::CellRoot kp(&plain);
    EXPECT_EQ(raised_id([&] { object::fire_on_deep_change(&plain, &action, &list, &action, &v, 0, 1); }),
              "script/invalid-obj-evt");
}

TEST_F(Objects, OnChangeMustStillBeAFunction) {
    Cell obj = make_object("a: 1 on-change*: func [w o n] []");
    gc::CellRoot keep(&obj);
    Node ctx = object::context_of(&obj);
    *object::value_pointer_at(ctx, 1) = integer::make(5);
    Cell element = loose_word("a");
    Cell v = integer::make(2);
    EXPECT_EQ(raised_id([&] {
                  object::object_eval_path(&obj, &element, &v, nullptr, nullptr, nullptr, 0, false, 0, true, false);
              }),
              "script/invalid-obj-evt");
}

TEST_F(Objects, ConstructTakesValuesLiterally) {
    struct Case {
        const char* spec;
        bool only;
        const char* field;
        const char* mold;
    };
    const Case cases[] = {
        {"[a: yes]", false, "a", "true"},
        {"[a: yes]", true, "a", "yes"},
        {"[a: off]", false, "a", "false"},
        {"[a: none]", false, "a", "none"},
        {"[a: b: 5 c:]", false, "b", "5"},
        {"[a: b: 5 c:]", false, "a", "5"},
        {"[a: b: 5 c:]", false, "c", "none"},
        {"[a: (1 + 2)]", false, "a", "(1 + 2)"},
    };
    for (const Case& c : cases) {
        Cell spec = first_of(c.spec);
        gc::CellRoot keep(&spec);
        Cell obj = *object::make_from_spec(&spec, nullptr, c.only);
        stack::pop(1);
        gc::CellRoot ko(&obj);
        EXPECT_EQ(mold_text(field_of(obj, c.field)), c.mold) << c.spec << " " << c.field;
    }
    // With a prototype: a deep copy keeping the class, the new field added.
    Cell proto = make_object("x: [1]");
    gc::CellRoot kp(&proto);
    Cell spec = first_of("[y: 2]");
    gc::CellRoot ks(&spec);
    Cell obj = *object::make_from_spec(&spec, &proto, false);
    stack::pop(1);
    EXPECT_EQ(object::class_of(&obj), object::class_of(&proto));
    EXPECT_EQ(object::field_count(&obj), 2u);
    EXPECT_NE(field_node(obj, "x"), field_node(proto, "x"));
}

TEST_F(Objects, Reflection) {
    Cell obj = make_object("a: 'w b: [1] p: none");
    gc::CellRoot keep(&obj);
    Cell path = first_of("x");
    path = block_of({path}, TYPE_PATH);
    Cell y = global_word("y");
    block::append_copy(&path, &y);
    *object::value_pointer_at(object::context_of(&obj), 2) = path;
    auto reflect = [&](const char* field) {
        Cell r = obj, f = loose_word(field);
        gc::CellRoot kr(&r);
        object::object_reflect(&r, &f);
        return mold_text(r);
    };
    EXPECT_EQ(reflect("class"), "1000001");
    EXPECT_EQ(reflect("words"), "[a b p]");
    EXPECT_EQ(reflect("values"), "[w [1] x/y]");
    EXPECT_EQ(reflect("body"), "[\n    a: 'w\n    b: [1]\n    p: 'x/y\n]");
    EXPECT_EQ(reflect("changed"), "[]");   // make clears the marks
    EXPECT_EQ(reflect("owner"), "false");
    EXPECT_EQ(reflect("events?"), "false");
    EXPECT_EQ(raised_id([&] { reflect("spec"); }), "internal/not-done");

    Cell bw = *context::word_cell_at(object::context_of(&obj), 1);
    Cell two = integer::make(2);
    context::set_word_value(&bw, &two);
    EXPECT_EQ(reflect("changed"), "[b]");
    Cell changed = loose_word("changed"), none = none_cell();
    object::object_modify(&obj, &changed, &none, false);
    EXPECT_EQ(reflect("changed"), "[]");
    Cell one = integer::make(1);
    EXPECT_EQ(raised_id([&] { object::object_modify(&obj, &changed, &one, false); }), "script/invalid-arg");
}

TEST_F(Objects, CopyRefusesPartAndCopiesDeeply) {
    Cell obj = make_object("s: \"ab\" b: [[1]] f: func [] [s]");
    gc::CellRoot keep(&obj);
    Cell result = unset_cell();
    gc::CellRoot kr(&result);
    Cell part = integer::make(1);
    EXPECT_EQ(raised_id([&] { object::object_copy(&obj, &result, &part, false, nullptr); }),
              "script/invalid-refine-arg");

    object::object_copy(&obj, &result, nullptr, false, nullptr);   // shallow: series shared
    EXPECT_EQ(field_node(result, "s"), field_node(obj, "s"));
    // Functions are always copied and rebound: the body's `s` is the copy's.
    Cell f = field_of(result, "f");
    EXPECT_NE(f.data3, field_of(obj, "f").data3);
    gc::CellRoot kf(&f);
    Cell body = *function::body_of(&f);
    Cell s = *block::cell_at(&body, 0);
    EXPECT_EQ(word::context_of(&s), object::context_of(&result));
    EXPECT_EQ(function::owner_context(&f), object::context_of(&result));

    object::object_copy(&obj, &result, nullptr, true, nullptr);
    Cell b = field_of(result, "b"), ob = field_of(obj, "b");
    EXPECT_NE(field_node(result, "s"), field_node(obj, "s"));
    EXPECT_NE(cell_node(block::cell_at(&b, 0)), cell_node(block::cell_at(&ob, 0)));
    EXPECT_EQ(object::class_of(&result), object::class_of(&obj));
}

TEST_F(Objects, PathsSelectAndPut) {
    Cell obj = make_object("a: 1 u: 2");
    gc::CellRoot keep(&obj);
    *object::value_pointer_at(object::context_of(&obj), 1) = unset_cell();
    Cell path = block_of({global_word("o"), global_word("a")}, TYPE_PATH);
    gc::CellRoot kp(&path);
    auto get = [&](const char* name, bool last, bool notify) {
        Cell e = loose_word(name);
        return object::object_eval_path(&obj, &e, nullptr, &path, nullptr, nullptr, 0, false, 0, last, notify);
    };
    EXPECT_EQ(integer::get_value(get("A", false, false)), 1);
    EXPECT_EQ(raised_id([&] { get("zz", false, false); }), "script/unset-path");
    EXPECT_EQ(raised_id([&] { get("u", false, false); }), "script/unset-path");
    EXPECT_EQ(raised_id([&] { get("zz", false, true); }), "script/invalid-path");
    EXPECT_EQ(type_of(get("zz", true, true)), TYPE_UNSET);
    Cell n = integer::make(1);
    EXPECT_EQ(raised_id([&] {
                  object::object_eval_path(&obj, &n, nullptr, &path, nullptr, nullptr, 0, false, 0, false, false);
              }),
              "script/invalid-path");
    Cell self = global_word("self");
    self.data1 = obj.data1;
    self.data3 = 0xFFFFFFFFu;
    EXPECT_EQ(raised_id([&] {
                  object::object_eval_path(&obj, &self, &n, &path, nullptr, nullptr, 0, false, 0, true, false);
              }),
              "script/invalid-path");

    // select: any word kind, none when absent; put: word! keys only.
    Cell r = obj, key = loose_word("a", TYPE_SET_WORD);
    object::object_select(&r, &key, nullptr, false, false, false, false, nullptr, nullptr, false, false);
    EXPECT_EQ(integer::get_value(&r), 1);
    r = obj;
    key = loose_word("nope");
    object::object_select(&r, &key, nullptr, false, false, false, false, nullptr, nullptr, false, false);
    EXPECT_EQ(type_of(&r), TYPE_NONE);
    r = obj;
    EXPECT_EQ(raised_id([&] {
                  object::object_select(&r, &n, nullptr, false, false, false, false, nullptr, nullptr, false, false);
              }),
              "script/invalid-type");
    r = obj;
    key = loose_word("a");
    Cell seven = integer::make(7);
    object::object_put(&r, &key, &seven, false);
    EXPECT_EQ(int_field(obj, "a"), 7);
    r = obj;
    Cell skey = loose_word("a", TYPE_SET_WORD);
    EXPECT_EQ(raised_id([&] { object::object_put(&r, &skey, &seven, false); }), "script/invalid-key-type");
}

TEST_F(Objects, MoldAndForm) {
    Cell empty = make_object("");
    EXPECT_EQ(mold_text(empty), "make object! []");
    Cell obj = make_object("a: 1 w: 'x s: \"t\" in: 0");
    gc::CellRoot keep(&obj);
    *object::value_pointer_at(object::context_of(&obj), 3) = make_object("z: 2");
    EXPECT_EQ(mold_text(obj),
              "make object! [\n    a: 1\n    w: 'x\n    s: \"t\"\n    in: make object! [\n        z: 2\n    ]\n]");
    EXPECT_EQ(mold_flags(obj, false, false, true), "make object! [a: 1 w: 'x s: \"t\" in: make object! [z: 2]]");
    EXPECT_EQ(mold_flags(obj, true, false, false),
              "a: 1\nw: 'x\ns: \"t\"\nin: make object! [\n        z: 2\n    ]");
    EXPECT_EQ(mold_flags(empty, false, false, false, 2), "make object! []");
    EXPECT_EQ(form_text(obj), "a: 1\nw: 'x\ns: \"t\"\nin: make object! [\n    z: 2\n]");

    // The reserved fields show only with /all.
    Cell watched = make_object("a: 1 on-change*: func [w o n] []");
    gc::CellRoot kw(&watched);
    EXPECT_EQ(mold_flags(watched, false, false, true), "make object! [a: 1]");
    EXPECT_EQ(mold_flags(watched, false, true, true), "make object! [a: 1 on-change*: func [w o n][]]");

    // A cycle: the object met again inside itself.
    Cell self_ref = make_object("a: 1 me: none");
    gc::CellRoot ks(&self_ref);
    *object::value_pointer_at(object::context_of(&self_ref), 1) = self_ref;
    EXPECT_EQ(mold_flags(self_ref, false, false, true), "make object! [a: 1 me: make object! [...]]");
}

TEST_F(Objects, MoldStopsAtTheLimit) {
    Cell obj = make_object("a: 1 b: 2 c: 3");
    gc::CellRoot keep(&obj);
    Cell out = string::make(16);
    gc::CellRoot ko(&out);
    int32_t left = object::object_mold(&obj, &out, false, false, true, nullptr, 18, 0);
    EXPECT_EQ(string::to_utf8(&out), "make object! [a: 1]");
    EXPECT_EQ(left, 18 - 19);
}

TEST_F(Objects, Compare) {
    Cell all[6] = {};
    gc::CellRoot keep(all, 6);
    const char* specs[6] = {"x: 1 y: \"s\"", "x: 1 y: \"s\"", "y: \"s\" x: 1", "x: 1", "x: 2 y: \"s\"",
                            "x: 'a y: \"s\""};
    for (int i = 0; i < 6; i++) all[i] = make_object(specs[i]);
    Cell &a = all[0], &b = all[1], &c = all[2], &e = all[3], &f = all[4], &g = all[5];
    EXPECT_EQ(object::object_compare(&a, &b, COMP_EQUAL), 0);
    EXPECT_EQ(object::object_compare(&a, &a, COMP_SAME), 0);
    EXPECT_EQ(object::object_compare(&a, &b, COMP_SAME), -1);
    int32_t x = symbol::resolve_alias(sym("x")), y = symbol::resolve_alias(sym("y"));
    EXPECT_EQ(object::object_compare(&a, &c, COMP_EQUAL), x < y ? -1 : 1);   // first name decides
    EXPECT_EQ(object::object_compare(&a, &e, COMP_EQUAL), -1);               // more fields
    EXPECT_EQ(object::object_compare(&e, &a, COMP_EQUAL), 1);
    EXPECT_EQ(object::object_compare(&a, &f, COMP_LESSER), -1);
    EXPECT_EQ(object::object_compare(&a, &g, COMP_EQUAL), -1);   // integer! before word!
    Cell one = integer::make(1);
    EXPECT_EQ(object::object_compare(&a, &one, COMP_EQUAL), COMPARE_INCOMPARABLE);

    // Two objects that each hold themselves compare without end.
    Cell p = make_object("me: none"), q = make_object("me: none");
    gc::CellRoot kp(&p), kq(&q);
    *object::value_pointer_at(object::context_of(&p), 0) = p;
    *object::value_pointer_at(object::context_of(&q), 0) = q;
    EXPECT_EQ(object::object_compare(&p, &q, COMP_EQUAL), 0);
}

TEST_F(Objects, DeepAndCyclicStructuresEndInErrors) {
    // A chain of objects nested deeper than the cycle stack: mold and
    // compare end in internal/too-deep, never in a machine-stack overflow.
    Cell chain[2] = {make_object("in: none"), make_object("in: none")};
    gc::CellRoot keep(chain, 2);
    for (int i = 0; i < 1100; i++) {
        for (Cell& c : chain) {
            Cell outer = make_object("in: none");
            *object::value_pointer_at(object::context_of(&outer), 0) = c;
            c = outer;
        }
    }
    EXPECT_EQ(raised_id([&] { mold_flags(chain[0], false, false, true); }), "internal/too-deep");
    EXPECT_EQ(raised_id([&] { object::object_compare(&chain[0], &chain[1], COMP_EQUAL); }), "internal/too-deep");
    EXPECT_EQ(cycle_stack::depth(), 0u);

    // A typed deep copy of an object that holds itself.
    Cell self_ref = make_object("me: none");
    gc::CellRoot ks(&self_ref);
    *object::value_pointer_at(object::context_of(&self_ref), 0) = self_ref;
    Cell result = unset_cell(), types{TYPE_DATATYPE, TYPE_OBJECT, 0, 0};
    gc::CellRoot kr(&result);
    EXPECT_EQ(raised_id([&] { object::object_copy(&self_ref, &result, nullptr, true, &types); }),
              "internal/no-cycle");
    object::object_copy(&self_ref, &result, nullptr, false, &types);   // one level only
    EXPECT_NE(field_of(result, "me").data1, self_ref.data1);
}

TEST_F(Objects, PathChangeOfAScalarTellsTheOwner) {
    Cell obj = make_object("t: 1 on-change*: func [w o n] []");
    gc::CellRoot keep(&obj);
    recorded_calls.clear();
    Cell previous = loose_word("t");
    Cell old_value = integer::make(1), new_value = integer::make(2);
    number_hooks::get().notify_path_change(&obj, &previous, &old_value, &new_value, 1);
    ASSERT_EQ(recorded_calls.size(), 1u);
    EXPECT_EQ(integer::get_value(&recorded_calls[0].args[2]), 2);
}

}  // namespace
}  // namespace qor
