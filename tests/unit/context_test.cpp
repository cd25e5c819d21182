// Contexts: the record, lookup with and without case, the global context's
// case variants, binding, slot reads and writes with their errors.
#include "datatypes/context.hpp"

#include <gtest/gtest.h>

#include "memory_fixture.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Context : public RuntimeFixture {};

// A context with a value block holding the given names, each set to
// integer! 1, 2, 3 ... in order.
Node object_context(std::initializer_list<const char*> names, uint32_t kind = context::KIND_OBJECT) {
    Node ctx = context::make_node(int32_t(names.size()), false, true, nullptr, kind);
    gc::NodeRoot keep(&ctx);
    int32_t n = 1;
    for (const char* name : names) {
        Cell w = loose_word(name);
        Cell v = integer::make(n++);
        context::find_or_append(ctx, &w, &v);
    }
    return ctx;
}

int32_t int_value(const Cell* c) { return type_of(c) == TYPE_INTEGER ? integer::get_value(c) : -999; }

TEST_F(Context, MakeNodeLaysOutTheRecord) {
    Node ctx = context::make_node(0, false, true, nullptr, context::KIND_OBJECT);
    gc::NodeRoot keep(&ctx);
    const Cell* rec = context::record(ctx);
    EXPECT_EQ(type_of(rec), TYPE_CONTEXT);
    EXPECT_EQ(rec->header & ~TYPE_MASK, CONTEXT_HAS_SELF | (2u << 11));
    EXPECT_EQ(context::kind_of(ctx), context::KIND_OBJECT);
    EXPECT_EQ(type_of(context::self_cell(ctx)), TYPE_UNSET);
    EXPECT_EQ(buffer_of(ctx)->length(), 2u);
    // 0 slots make room for 1, and the room reads unset.
    SeriesBuffer* values = buffer_of(context::values_node(ctx));
    EXPECT_EQ(values->length(), 0u);
    EXPECT_GE(values->capacity, sizeof(Cell));
    EXPECT_EQ(type_of(cells_head(values)), TYPE_UNSET);
    EXPECT_EQ(hashtable::record(context::index_node(ctx))->kind, hashtable::KIND_SYMBOL);
    EXPECT_EQ(context::word_count(ctx), 0u);
    EXPECT_EQ(context::node_of_record(rec), ctx);

    Node fn = context::make_node(3, true, false, nullptr, context::KIND_FUNCTION);
    gc::NodeRoot keep_fn(&fn);
    EXPECT_EQ(context::record(fn)->header, TYPE_CONTEXT | CONTEXT_VALUES_ON_STACK | (1u << 11));
    EXPECT_TRUE(context::values_on_stack(fn));
    EXPECT_EQ(context::record(fn)->data2, 0u);
    EXPECT_EQ(context::values_node(fn), nullptr);

    // The global context: kind 0, no self, its index twice the 4000 asked.
    Node g = context::global();
    EXPECT_EQ(context::record(g)->header, uint32_t(TYPE_CONTEXT));
    EXPECT_GE(hashtable::record(context::index_node(g))->bucket_count, 8000);
}

TEST_F(Context, LookupMatchesCaseOnlyWithTheFlag) {
    Node ctx = object_context({"foo", "bar"});
    gc::NodeRoot keep(&ctx);
    struct Case {
        const char* name;
        bool nocase;
        int32_t slot;
    } cases[] = {
        {"foo", false, 0}, {"foo", true, 0}, {"Foo", true, 0}, {"Foo", false, -1},
        {"BAR", true, 1},  {"baz", true, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(context::find_symbol(ctx, sym(c.name), c.nocase), c.slot) << c.name << " nocase " << c.nocase;

    // Word cells of the list name this context, their symbol and slot.
    const Cell* w = context::word_cell_at(ctx, 1);
    EXPECT_EQ(type_of(w), TYPE_WORD);
    EXPECT_EQ(ctx_of(*w), ctx);
    EXPECT_EQ(w->data2, uint32_t(sym("bar")));
    EXPECT_EQ(word::index_of(w), 1);
}

TEST_F(Context, AddingKeepsWordsAndValuesInStep) {
    Node ctx = object_context({});
    gc::NodeRoot keep(&ctx);
    Cell a = loose_word("alpha");
    EXPECT_EQ(context::bind_or_add_word(ctx, &a), 0);
    Cell b = loose_word("Beta");
    EXPECT_EQ(context::bind_or_add_word(ctx, &b), 1);
    Cell a2 = loose_word("ALPHA");
    EXPECT_EQ(context::bind_or_add_word(ctx, &a2), 0);  // found without regard to case
    EXPECT_EQ(context::word_count(ctx), 2u);
    EXPECT_EQ(buffer_of(context::values_node(ctx))->length(), 2u);
    EXPECT_EQ(type_of(context::word_value_pointer(context::word_cell_at(ctx, 1), ctx)), TYPE_UNSET);

    // Many more: the index grows, every slot stays found.
    for (int i = 0; i < 300; i++) {
        Cell w = loose_word(("name" + std::to_string(i)).c_str());
        EXPECT_EQ(context::bind_or_add_word(ctx, &w), i + 2);
    }
    for (int i = 0; i < 300; i += 37)
        EXPECT_EQ(context::find_symbol(ctx, sym(("NAME" + std::to_string(i)).c_str()), true), i + 2);
    EXPECT_EQ(buffer_of(context::values_node(ctx))->length(), 302u);

    // find_or_add_symbol leaves the value block alone.
    int32_t out = -1;
    EXPECT_EQ(context::find_or_add_symbol(ctx, sym("late"), false, &out), -1);
    EXPECT_EQ(out, 302);
    EXPECT_EQ(context::find_or_add_symbol(ctx, sym("late"), false, &out), 302);
    EXPECT_EQ(buffer_of(context::values_node(ctx))->length(), 302u);
    // A slot whose value was never appended reads unset: the block is filled
    // up to it rather than read past its tail.
    Cell late{TYPE_WORD, reinterpret_cast<uint32_t>(ctx), uint32_t(sym("late")), 302};
    EXPECT_EQ(type_of(context::word_value_pointer(&late, ctx)), TYPE_UNSET);
    EXPECT_EQ(buffer_of(context::values_node(ctx))->length(), 303u);
}

TEST_F(Context, FieldHelpers) {
    Node ctx = object_context({"a"});
    gc::NodeRoot keep(&ctx);
    Cell a = loose_word("A"), b = loose_word("b");
    Cell seven = integer::make(7), eight = integer::make(8);

    context::find_or_append(ctx, &a, &seven);  // present: overwritten
    EXPECT_EQ(int_value(context::value_by_symbol(sym("a"), ctx)), 7);
    EXPECT_EQ(context::add_field_if_new(ctx, &a, &eight), nullptr);
    EXPECT_EQ(int_value(context::value_by_symbol(sym("a"), ctx)), 7);

    Cell* added = context::add_field_if_new(ctx, &b, &eight);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(int_value(added), 8);
    EXPECT_EQ(context::find_symbol(ctx, sym("b"), false), 1);
    EXPECT_EQ(context::value_by_symbol(sym("missing"), ctx), nullptr);

    // collect_set_words takes set-words from the block's index only.
    Cell block = block_of({global_word("skipped", TYPE_SET_WORD), global_word("c", TYPE_SET_WORD),
                           integer::make(1), global_word("d"), global_word("B", TYPE_SET_WORD)});
    gc::CellRoot keep_block(&block);
    block.data1 = 1;
    EXPECT_TRUE(context::collect_set_words(ctx, &block));
    EXPECT_EQ(context::word_count(ctx), 3u);  // a b c
    EXPECT_EQ(context::find_symbol(ctx, sym("c"), false), 2);
    EXPECT_EQ(context::find_symbol(ctx, sym("skipped"), true), -1);
    EXPECT_EQ(context::find_symbol(ctx, sym("d"), true), -1);
    EXPECT_FALSE(context::collect_set_words(ctx, &block));
}

TEST_F(Context, GlobalCaseVariantsShareTheSlot) {
    Cell foo = *context::global_find_or_add(sym("foo"), false, false);
    uint32_t values_before = buffer_of(context::values_node(context::global()))->length();
    Cell variant = *context::global_find_or_add(sym("Foo"), false, false);
    EXPECT_EQ(variant.data2, uint32_t(sym("Foo")));
    EXPECT_EQ(variant.data3, foo.data3);  // the earlier spelling's slot
    EXPECT_EQ(context::word_count(context::global()), values_before + 1);
    EXPECT_EQ(buffer_of(context::values_node(context::global()))->length(), values_before + 1);

    Cell v = integer::make(42);
    context::set_word_value(&variant, &v);
    EXPECT_EQ(int_value(context::get_word_value(&foo)), 42);
    EXPECT_EQ(int_value(context::global_value_pointer(sym("FOO"))), 42);

    // An unbound word of the variant's spelling finds the shared slot too.
    Cell loose{TYPE_WORD, reinterpret_cast<uint32_t>(context::global()), uint32_t(sym("Foo")), 0xFFFFFFFFu};
    Cell v2 = integer::make(43);
    context::set_word_value(&loose, &v2);
    EXPECT_EQ(loose.data3, foo.data3);
    EXPECT_EQ(int_value(context::get_word_value(&foo)), 43);

    // Case-blind lookup with the spelling flag: a root-block copy that keeps
    // its own spelling on the shared slot.
    uint32_t root_before = root_block::length();
    Cell* own = context::global_find_or_add(sym("fOO"), true, true);
    EXPECT_EQ(root_block::length(), root_before + 1);
    EXPECT_EQ(own, root_block::cell_at(root_before));
    EXPECT_EQ(own->data2, uint32_t(sym("fOO")));
    EXPECT_EQ(own->data3, foo.data3);
    // Without the spelling flag the found word itself.
    EXPECT_EQ(context::global_find_or_add(sym("fOO"), true, false)->data2, uint32_t(sym("foo")));

    // make_global_word copies to the root block only while collecting.
    root_before = root_block::length();
    Cell plain = *context::make_global_word(sym("foo"));
    EXPECT_EQ(root_block::length(), root_before);
    root_block::set_collecting(true);
    Cell* recorded = context::make_global_word(sym("foo"));
    EXPECT_EQ(root_block::length(), root_before + 1);
    EXPECT_EQ(recorded->data3, plain.data3);

    Cell nine = integer::make(9);
    context::set_global_value(sym("brand-new"), &nine);
    EXPECT_EQ(int_value(context::global_value_pointer(sym("Brand-New"))), 9);
}

TEST_F(Context, BindDeepFollowsNestingAndStopsAtCycles) {
    Node ctx = object_context({"a", "b"});
    gc::NodeRoot keep(&ctx);
    Cell inner = block_of({global_word("b", TYPE_GET_WORD), global_word("a", TYPE_LIT_WORD)}, TYPE_PAREN);
    gc::CellRoot keep_inner(&inner);
    Cell path = block_of({global_word("A"), global_word("b", TYPE_REFINEMENT)}, TYPE_PATH);
    gc::CellRoot keep_path(&path);
    Cell block = block_of({global_word("a", TYPE_SET_WORD), inner, global_word("c"), path,
                           global_word("b", TYPE_ISSUE), global_word("self")});
    gc::CellRoot keep_block(&block);
    block::append_copy(&block, &block);  // contains itself
    block.data1 = 2;                     // binding starts at the head anyway

    context::bind_deep(&block, ctx, false);
    EXPECT_EQ(cycle_stack::depth(), 0u);
    auto at = [&](const Cell& b, uint32_t i) { return *block::cell_at(&b, i); };
    struct Expect {
        Cell word;
        Node ctx;
        int32_t slot;
    } expects[] = {
        {at(block, 0), ctx, 0},                                 // a:
        {at(inner, 0), ctx, 1},                                 // :b
        {at(inner, 1), ctx, 0},                                 // 'a
        {at(path, 0), ctx, 0},                                  // A
        {at(path, 1), ctx, 1},                                  // /b
        {at(block, 2), context::global(), -2},                  // c: not in ctx
        {at(block, 4), context::global(), -2},                  // issues are not bound
        {at(block, 5), context::global(), -2},                  // self without the flag
    };
    for (const Expect& e : expects) {
        EXPECT_EQ(ctx_of(e.word), e.ctx) << spelling_of(word::symbol_of(&e.word));
        if (e.slot >= -1) {
            EXPECT_EQ(word::index_of(&e.word), e.slot) << spelling_of(word::symbol_of(&e.word));
        }
    }

    // With the self flag, self denotes the owner though ctx has no word self.
    Cell owner{TYPE_OBJECT, reinterpret_cast<uint32_t>(ctx), 1000001, 0};
    *context::self_cell(ctx) = owner;
    context::bind_deep(&block, ctx, true);
    Cell self = at(block, 5);
    EXPECT_EQ(ctx_of(self), ctx);
    EXPECT_EQ(word::index_of(&self), -1);
    const Cell* denoted = context::get_word_value(&self);
    EXPECT_EQ(type_of(denoted), TYPE_OBJECT);
    EXPECT_EQ(denoted->data2, 1000001u);
}

TEST_F(Context, BindDeepIsBoundedByTheCycleStack) {
    Node ctx = object_context({"a"});
    gc::NodeRoot keep(&ctx);
    Cell outer = block_of({global_word("a")});
    gc::CellRoot keep_outer(&outer);
    // 1000 nested blocks, the innermost first.
    for (int i = 0; i < 1000; i++) {
        Cell next = block_of({outer});
        outer = next;
    }
    RaisedError e = raised_by([&] { context::bind_deep(&outer, ctx, false); });
    EXPECT_EQ(e.category, "internal");
    EXPECT_EQ(e.id, "too-deep");
    EXPECT_EQ(cycle_stack::depth(), 0u);
}

TEST_F(Context, ReadingAndWritingErrors) {
    Cell unbound = global_word("nothing-here");
    unbound.data3 = 0xFFFFFFFFu;
    RaisedError e = raised_by([&] { context::get_word_value(&unbound); });
    EXPECT_EQ(e.id, "no-value");
    EXPECT_EQ(e.args[0].value.data2, unbound.data2);

    // A function context: reads and writes need a running call.
    Cell spec = block_of({global_word("x"), global_word("y")});
    gc::CellRoot keep_spec(&spec);
    Node fn = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
    gc::NodeRoot keep(&fn);
    Cell y = *context::word_cell_at(fn, 1);
    Cell five = integer::make(5);
    EXPECT_EQ(raised_by([&] { context::get_word_value(&y); }).id, "not-in-context");
    EXPECT_EQ(raised_by([&] { context::set_word_value(&y, &five); }).id, "not-defined");
    EXPECT_EQ(raised_by([&] { context::push_local(fn, 1); }).id, "not-defined");
    EXPECT_EQ(last_raised_error().args[0].value.data2, y.data2);

    Cell frame[2] = {integer::make(1), integer::make(2)};
    context::set_stack_values(fn, frame);
    EXPECT_EQ(int_value(context::get_word_value(&y)), 2);
    context::set_word_value(&y, &five);
    EXPECT_EQ(int_value(&frame[1]), 5);
    open_call();
    EXPECT_EQ(int_value(context::push_local(fn, 0)), 1);
    context::set_stack_values(fn, nullptr);
}

TEST_F(Context, AssigningInObjectsMarksAndNotifies) {
    Node ctx = object_context({"a", "b"});
    gc::NodeRoot keep(&ctx);
    Cell a = *context::word_cell_at(ctx, 0);
    Cell b = *context::word_cell_at(ctx, 1);
    Cell v = integer::make(10);

    // No info on the owner: no call, but the slot's word is marked changed.
    static int calls;
    static Cell seen_old, seen_new, seen_word;
    static int32_t guard_inside;
    calls = 0;
    context::set_on_change_hook([](Cell* object, Cell* word, Cell* old_value, Cell* new_value) {
        calls++;
        seen_old = *old_value;
        seen_new = *new_value;
        seen_word = *word;
        guard_inside = context::on_change_guard;
        context::on_change_guard = 77;
    });
    context::set_word_value(&b, &v);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(context::word_cell_at(ctx, 1)->header & FLAG_ASSIGNED);
    EXPECT_FALSE(context::word_cell_at(ctx, 0)->header & FLAG_ASSIGNED);

    // An owner with on-change info is told, with the old value pushed.
    Cell owner{TYPE_OBJECT, reinterpret_cast<uint32_t>(ctx), 1000001, 0};
    owner.data3 = reinterpret_cast<uint32_t>(ctx);  // any non-zero node
    *context::self_cell(ctx) = owner;
    context::on_change_guard = 5;
    open_call();
    Cell w = integer::make(20);
    context::set_word_value(&a, &w);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(int_value(&seen_old), 1);
    EXPECT_EQ(int_value(&seen_new), 20);
    EXPECT_EQ(seen_word.data2, a.data2);
    EXPECT_EQ(int_value(context::get_word_value(&a)), 20);
    EXPECT_EQ(guard_inside, 5);
    EXPECT_EQ(context::on_change_guard, 5);  // restored
    // Without notification: assigned and marked, nobody told.
    context::set_value(&a, &v, ctx, false);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(context::word_cell_at(ctx, 0)->header & FLAG_ASSIGNED);

    // A word with no slot gets one (added when absent), written back.
    Cell fresh = loose_word("c");
    fresh.data1 = reinterpret_cast<uint32_t>(ctx);
    context::set_value(&fresh, &v, ctx, false);
    EXPECT_EQ(word::index_of(&fresh), 2);
    EXPECT_EQ(int_value(object::value_pointer_at(ctx, 2)), 10);
}

TEST_F(Context, SlotsByIndex) {
    Node ctx = object_context({"a", "b"});
    gc::NodeRoot keep(&ctx);
    open_call();
    Cell nine = integer::make(9), ten = integer::make(10);
    stack::push(&nine);
    EXPECT_EQ(int_value(context::store_top_at(ctx, 1)), 9);
    EXPECT_TRUE(context::word_cell_at(ctx, 1)->header & FLAG_ASSIGNED);
    stack::push(&ten);
    EXPECT_EQ(int_value(context::push_value_marked(ctx, 0)), 10);
    EXPECT_EQ(int_value(stack::top_value()), 1);  // the old value, pushed
    EXPECT_TRUE(context::word_cell_at(ctx, 0)->header & FLAG_ASSIGNED);
    EXPECT_EQ(int_value(context::push_local(ctx, 1)), 9);

    const Cell* pushed = context::push_word_cell(ctx, 1);
    EXPECT_EQ(pushed->data2, uint32_t(sym("b")));
    EXPECT_EQ(ctx_of(*pushed), ctx);

    EXPECT_EQ(ctx_of(*context::word_for_symbol(ctx, sym("a"))), ctx);
    // Exact only: B is not this context's word; a global word is made.
    Cell other = *context::word_for_symbol(ctx, sym("B"));
    EXPECT_EQ(ctx_of(other), context::global());
    EXPECT_EQ(other.data2, uint32_t(sym("B")));
}

TEST_F(Context, MakeFromSpecTakesArgumentWordsOnly) {
    Cell spec = block_of({string::from_utf8("doc"), global_word("a"), global_word("b", TYPE_GET_WORD),
                          global_word("c", TYPE_LIT_WORD), global_word("d", TYPE_SET_WORD),
                          global_word("local", TYPE_REFINEMENT), integer::make(1), global_word("A"),
                          global_word("e")});
    gc::CellRoot keep_spec(&spec);
    spec.data1 = 1;
    Node ctx = context::make_from_spec(&spec, false, true, context::KIND_FUNCTION);
    gc::NodeRoot keep(&ctx);
    const char* expected[] = {"a", "b", "c", "local", "e"};
    ASSERT_EQ(context::word_count(ctx), 5u);
    for (uint32_t i = 0; i < 5; i++) {
        const Cell* w = context::word_cell_at(ctx, int32_t(i));
        EXPECT_EQ(spelling_of(word::symbol_of(w)), expected[i]);
        EXPECT_EQ(word::index_of(w), int32_t(i));
    }
    // Six argument words were met (A repeats a): the value tail follows them.
    EXPECT_EQ(buffer_of(context::values_node(ctx))->length(), 6u);
    EXPECT_EQ(context::kind_of(ctx), context::KIND_FUNCTION);
    EXPECT_TRUE(context::record(ctx)->header & CONTEXT_HAS_SELF);
}

TEST_F(Context, CopyForObjectRebindsACopiedWordList) {
    Node old = object_context({"a", "b", "c"});
    gc::NodeRoot keep_old(&old);
    context::record(old)->header |= 0x00010000u;  // the owner flag is not copied
    Cell object{TYPE_OBJECT, reinterpret_cast<uint32_t>(old), 1000001, 0};
    gc::CellRoot keep_object(&object);
    Node copy = context::copy_for_object(&object, context::KIND_OBJECT);
    gc::NodeRoot keep_copy(&copy);
    EXPECT_NE(copy, old);
    EXPECT_EQ(ctx_of(object), copy);
    EXPECT_EQ(context::record(copy)->header, TYPE_CONTEXT | CONTEXT_HAS_SELF | (2u << 11));
    ASSERT_EQ(context::word_count(copy), 3u);
    for (int32_t i = 0; i < 3; i++) {
        EXPECT_EQ(ctx_of(*context::word_cell_at(copy, i)), copy);
        EXPECT_EQ(ctx_of(*context::word_cell_at(old, i)), old);
    }
    EXPECT_EQ(context::find_symbol(copy, sym("C"), true), 2);
    SeriesBuffer* values = buffer_of(context::values_node(copy));
    EXPECT_EQ(values->length(), 0u);
    EXPECT_EQ(type_of(cells_head(values) + 2), TYPE_UNSET);
    // The copy's index is its own: adding to it leaves the old one alone.
    Cell d = loose_word("d");
    context::bind_or_add_word(copy, &d);
    EXPECT_EQ(context::find_symbol(old, sym("d"), true), -1);
    EXPECT_EQ(int_value(context::value_by_symbol(sym("b"), old)), 2);
}

TEST_F(Context, TheGlobalContextIsACollectorRoot) {
    // Values reachable only through global words survive collections.
    for (int i = 0; i < 50; i++) {
        Cell b = ints({i, i + 1});
        gc::CellRoot keep(&b);
        context::set_global_value(sym(("keep" + std::to_string(i)).c_str()), &b);
    }
    qor::testing::collect_clean();
    qor::testing::collect_clean();
    for (int i = 0; i < 50; i += 7) {
        const Cell* b = context::global_value_pointer(sym(("keep" + std::to_string(i)).c_str()));
        ASSERT_EQ(type_of(b), TYPE_BLOCK);
        EXPECT_EQ(ints_of(*b), (std::vector<int32_t>{i, i + 1}));
    }
}

}  // namespace
}  // namespace qor
