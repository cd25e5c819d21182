#include "memory_fixture.hpp"

#include "runtime/ownership.hpp"

#include <vector>

using namespace qor;
using namespace qor::testing;

namespace {

class Ownership : public MemoryFixture {
protected:
    void SetUp() override {
        MemoryFixture::SetUp();
        owner::init_table();
        calls.clear();
        owner::set_deep_change_hook(record_call);
    }
    void TearDown() override {
        owner::set_deep_change_hook(nullptr);
        MemoryFixture::TearDown();
    }

    struct Call {
        uint32_t owner_context, word_symbol, target_node, action_symbol;
        int32_t index, part;
    };
    static inline std::vector<Call> calls;
    static void record_call(const Cell* owner, const Cell* word, const Cell* target, const Cell* action,
                            const Cell*, int32_t index, int32_t part) {
        calls.push_back(Call{owner->data1, word->data2, target->data2, action->data2, index, part});
    }

    // An object whose fields are the given (symbol, value) pairs, laid out
    // as contexts are: a two-cell block {record, self}, the record pointing
    // at a word table (whose word 5 is the word list) and a value block.
    // `notifies` gives it change-notification information.
    static Cell make_object(const std::vector<std::pair<uint32_t, Cell>>& fields, bool notifies = false) {
        Node ctx = memory::alloc_cells(2);
        gc::NodeRoot keep_ctx(&ctx);
        Cell words = new_block(uint32_t(fields.size()));
        gc::CellRoot keep_words(&words);
        Cell values = new_block(uint32_t(fields.size()));
        gc::CellRoot keep_values(&values);
        for (uint32_t i = 0; i < fields.size(); i++) {
            append(&words, Cell{TYPE_WORD, reinterpret_cast<uint32_t>(ctx), fields[i].first, i});
            append(&values, fields[i].second);
        }
        Node table = memory::alloc_bytes(44);
        SeriesBuffer* t = buffer_of(table);
        std::memset(t->head, 0, 44);
        t->tail = t->head + 44;
        reinterpret_cast<uint32_t*>(t->head)[5] = reinterpret_cast<uint32_t>(cell_node(&words));
        reinterpret_cast<uint32_t*>(t->head)[9] = 2;
        Cell object{TYPE_OBJECT, reinterpret_cast<uint32_t>(ctx), 1000001, 0};
        if (notifies) object.data3 = reinterpret_cast<uint32_t>(memory::alloc_cells(2));
        SeriesBuffer* c = buffer_of(ctx);
        Cell* record = reinterpret_cast<Cell*>(c->head);
        record[0] = Cell{uint32_t(TYPE_CONTEXT) | (2u << 11) | 0x01000000u, reinterpret_cast<uint32_t>(table),
                         reinterpret_cast<uint32_t>(cell_node(&values)), 0};
        record[1] = object;
        c->tail = c->head + 32;
        return object;
    }

    static bool owned(const Cell& series) { return buffer_of(cell_node(&series))->flags & SERIES_OWNED; }
    static Cell* field(const Cell& object, uint32_t i) {
        Cell* record = cells_head(buffer_of(reinterpret_cast<Node>(object.data1)));
        return cells_head(buffer_of(reinterpret_cast<Node>(record->data2))) + i;
    }
};

constexpr uint32_t SYM_ITEMS = 501, SYM_BACK = 502, SYM_NAME = 503, SYM_APPEND = 600;

TEST_F(Ownership, AttachOwnsNestedSeriesAndRecordsTheOwner) {
    Cell inner = new_block(2);
    gc::CellRoot keep_inner(&inner);
    append(&inner, block_cell(memory::alloc_bytes(4), TYPE_BINARY));
    Cell outer = new_block(2);
    gc::CellRoot keep_outer(&outer);
    append(&outer, new_string("s"));
    append(&outer, inner);
    Cell obj = make_object({{SYM_ITEMS, outer}});
    gc::CellRoot keep_obj(&obj);
    Cell word{TYPE_WORD, obj.data1, SYM_ITEMS, 0};

    owner::attach(&outer, &obj, &word);
    SeriesBuffer* o = buffer_of(cell_node(&outer));
    EXPECT_TRUE(owned(outer));
    EXPECT_TRUE(owned(cells_head(o)[0]));
    EXPECT_TRUE(owned(inner));
    EXPECT_TRUE(owned(*cells_head(buffer_of(cell_node(&inner)))));
    EXPECT_EQ(owner::entry_count(), 4u);
    const Cell* who = owner::get(cell_node(&cells_head(o)[0]));
    ASSERT_NE(who, nullptr);
    EXPECT_EQ(who->data1, obj.data1);
    EXPECT_EQ(owner::get(memory::alloc_bytes(1)), nullptr);
}

TEST_F(Ownership, ASelfContainingBlockIsWalkedOnce) {
    Cell blk = new_block(2);
    gc::CellRoot keep(&blk);
    append(&blk, blk);
    append(&blk, new_string("t"));
    Cell obj = make_object({{SYM_ITEMS, blk}});
    gc::CellRoot keep_obj(&obj);
    Cell word{TYPE_WORD, obj.data1, SYM_ITEMS, 0};
    owner::attach(&blk, &obj, &word);
    EXPECT_EQ(owner::entry_count(), 2u);
    owner::detach(&blk);
    EXPECT_EQ(owner::entry_count(), 0u);
    EXPECT_FALSE(owned(blk));
}

TEST_F(Ownership, AFieldHoldingTheOwnerIsNotWalkedInto) {
    Cell owners_name = new_string("owner's own");
    gc::CellRoot keep_name(&owners_name);
    Cell obj = make_object({{SYM_NAME, owners_name}, {SYM_ITEMS, Cell{TYPE_NONE, 0, 0, 0}}});
    gc::CellRoot keep_obj(&obj);
    Cell child_name = new_string("child");
    gc::CellRoot keep_child_name(&child_name);
    Cell child = make_object({{SYM_BACK, obj}, {SYM_NAME, child_name}});
    gc::CellRoot keep_child(&child);
    Cell word{TYPE_WORD, obj.data1, SYM_ITEMS, 1};
    owner::attach(&child, &obj, &word);
    EXPECT_TRUE(owned(child_name));
    EXPECT_FALSE(owned(owners_name));
    // The child's string is recorded with the child's field word.
    EXPECT_NE(owner::get(cell_node(&child_name)), nullptr);
    // An object that owns its own series is not walked.
    Cell other = new_string("other");
    gc::CellRoot keep_other(&other);
    Cell flagged = make_object({{SYM_NAME, other}});
    gc::CellRoot keep_flagged(&flagged);
    Cell fword{TYPE_WORD, flagged.data1, SYM_NAME, 0};
    owner::attach_object(&other, &flagged, &fword);
    Cell third = make_object({{SYM_ITEMS, Cell{TYPE_NONE, 0, 0, 0}}});
    gc::CellRoot keep_third(&third);
    owner::detach(&other);
    owner::attach(&flagged, &third, &word);
    EXPECT_FALSE(owned(other));
}

TEST_F(Ownership, ChangesReachTheOwnerWithTheFieldWord) {
    Cell text = new_string("abc");
    gc::CellRoot keep_text(&text);
    Cell items = new_block(1);
    gc::CellRoot keep_items(&items);
    append(&items, text);
    Cell obj = make_object({{SYM_NAME, Cell{TYPE_NONE, 0, 0, 0}}, {SYM_ITEMS, items}}, true);
    gc::CellRoot keep_obj(&obj);
    Cell word{TYPE_WORD, obj.data1, SYM_ITEMS, 1};
    owner::attach_object(&items, &obj, &word);
    Cell* record = cells_head(buffer_of(reinterpret_cast<Node>(obj.data1)));
    EXPECT_TRUE(record->header & owner::CONTEXT_OWNER);

    Cell action{TYPE_WORD, 0, SYM_APPEND, 0xFFFFFFFFu};
    Cell fresh = integer_cell(9);
    EXPECT_TRUE(owner::notify(&text, &action, &fresh, 2, 1));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].owner_context, obj.data1);
    EXPECT_EQ(calls[0].word_symbol, SYM_ITEMS);
    EXPECT_EQ(calls[0].target_node, text.data2);
    EXPECT_EQ(calls[0].action_symbol, SYM_APPEND);
    EXPECT_EQ(calls[0].index, 2);
    EXPECT_EQ(calls[0].part, 1);

    // Detached: the former owner hears nothing.
    owner::detach(&items);
    EXPECT_FALSE(owned(text));
    EXPECT_FALSE(owner::notify(&text, &action, &fresh, 0, 1));
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Ownership, AnOwnerWithoutNotificationIsNotCalled) {
    Cell text = new_string("abc");
    gc::CellRoot keep_text(&text);
    Cell obj = make_object({{SYM_NAME, text}});
    gc::CellRoot keep_obj(&obj);
    Cell word{TYPE_WORD, obj.data1, SYM_NAME, 0};
    owner::attach(&text, &obj, &word);
    Cell action{TYPE_WORD, 0, SYM_APPEND, 0};
    EXPECT_FALSE(owner::notify(&text, &action, &text, 0, 1));
    EXPECT_TRUE(calls.empty());
}

TEST_F(Ownership, DetachRangeAndImages) {
    Cell blk = new_block(3);
    gc::CellRoot keep(&blk);
    for (const char* t : {"a", "b", "c"}) append(&blk, new_string(t));
    Cell image{TYPE_IMAGE, 0, 0xBEEF, (2u << 16) | 2u};
    append(&blk, image);
    Cell obj = make_object({{SYM_ITEMS, blk}}, true);
    gc::CellRoot keep_obj(&obj);
    Cell word{TYPE_WORD, obj.data1, SYM_ITEMS, 0};
    owner::attach(&blk, &obj, &word);
    Cell* cells = cells_head(buffer_of(cell_node(&blk)));
    EXPECT_TRUE(cells[3].header & owner::CELL_OWNED_IMAGE);
    Cell action{TYPE_WORD, 0, SYM_APPEND, 0};
    EXPECT_TRUE(owner::notify(&cells[3], &action, &cells[3], 0, 1));

    owner::detach_range(&blk, 1, 1);
    cells = cells_head(buffer_of(cell_node(&blk)));
    EXPECT_TRUE(owned(cells[0]));
    EXPECT_FALSE(owned(cells[1]));
    EXPECT_TRUE(owned(cells[2]));
    owner::detach_range(&blk, 3, 5);  // clipped at the tail
    EXPECT_FALSE(cells_head(buffer_of(cell_node(&blk)))[3].header & owner::CELL_OWNED_IMAGE);
}

TEST_F(Ownership, TheTableHoldsItsEntriesWeakly) {
    Cell kept = new_string("kept");
    gc::CellRoot keep_kept(&kept);
    Cell obj = make_object({{SYM_NAME, kept}});
    gc::CellRoot keep_obj(&obj);
    Cell word{TYPE_WORD, obj.data1, SYM_NAME, 0};
    owner::attach(&kept, &obj, &word);
    // A series that will lose its last reference.
    Cell lost = new_string("lost");
    gc::CellRoot keep_lost(&lost);
    owner::attach(&lost, &obj, &word);
    // A live series whose owner will die.
    Cell orphan = new_string("orphan");
    gc::CellRoot keep_orphan(&orphan);
    Cell dying = make_object({{SYM_NAME, orphan}});
    gc::CellRoot keep_dying(&dying);
    Cell dword{TYPE_WORD, dying.data1, SYM_NAME, 0};
    owner::attach(&orphan, &dying, &dword);
    EXPECT_EQ(owner::entry_count(), 3u);

    lost = dying = dword = Cell{TYPE_NONE, 0, 0, 0};
    collect_precise();
    EXPECT_EQ(owner::entry_count(), 1u);
    const Cell* who = owner::get(cell_node(&kept));
    ASSERT_NE(who, nullptr);
    EXPECT_EQ(who->data1, obj.data1);
    EXPECT_EQ(owner::get(cell_node(&orphan)), nullptr);
    EXPECT_EQ(text_of(kept), "kept");
}

}  // namespace
