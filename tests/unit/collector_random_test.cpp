// A randomised model check of the collector: nested blocks are built and
// dropped at random while the collector runs at every allocation, and every
// survivor is checked against a plain C++ model of what it should hold.
#include "memory_fixture.hpp"

#include <random>
#include <string>
#include <vector>

using namespace qor;
using namespace qor::testing;

namespace {

class CollectorRandom : public MemoryFixture {};

// The model of one kept block: its integers, and for each nested block the
// index of the model it mirrors.
struct Model {
    std::vector<int32_t> numbers;
    std::vector<size_t> children;
    std::string text;
};

// Checks a block against its model, walking nested blocks with a work list.
void check(const Cell& root, const std::vector<Model>& models, size_t index) {
    std::vector<std::pair<Cell, size_t>> work{{root, index}};
    while (!work.empty()) {
        auto [cell, m] = work.back();
        work.pop_back();
        const Model& model = models[m];
        SeriesBuffer* s = buffer_of(cell_node(&cell));
        ASSERT_EQ(s->length(), model.numbers.size() + model.children.size() + 1);
        Cell* c = cells_head(s);
        for (size_t i = 0; i < model.numbers.size(); i++) {
            ASSERT_EQ(type_of(&c[i]), TYPE_INTEGER);
            ASSERT_EQ(int32_t(c[i].data2), model.numbers[i]);
        }
        ASSERT_EQ(text_of(c[model.numbers.size()]), model.text);
        for (size_t k = 0; k < model.children.size(); k++)
            work.push_back({c[model.numbers.size() + 1 + k], model.children[k]});
    }
}

TEST_F(CollectorRandom, NestedBlocksBuiltAndDroppedKeepEverySurvivorIntact) {
    gc::set_stress_interval(1);
    std::mt19937 rng(20261209);
    std::vector<Model> models;
    // The kept blocks live in one rooted holder block; dropped ones are only
    // overwritten there, so they become garbage.
    constexpr uint32_t SLOTS = 24;
    Cell holder = new_block(SLOTS);
    gc::CellRoot keep(&holder);
    std::vector<size_t> slot_model(SLOTS, SIZE_MAX);
    for (uint32_t i = 0; i < SLOTS; i++) append(&holder, integer_cell(0));

    for (int round = 0; round < 400; round++) {
        uint32_t slot = rng() % SLOTS;
        // A new block: a few integers, a string, and up to two kept blocks
        // nested inside (shared, so survivors are reachable two ways).
        Model m;
        for (uint32_t n = rng() % 5; n > 0; n--) m.numbers.push_back(int32_t(rng()));
        m.text = std::to_string(round);
        Cell block = new_block(2);
        gc::CellRoot keep_block(&block);
        for (int32_t v : m.numbers) append(&block, integer_cell(v));
        append(&block, new_string(m.text.c_str()));
        for (uint32_t n = rng() % 3; n > 0; n--) {
            uint32_t from = rng() % SLOTS;
            if (slot_model[from] == SIZE_MAX) continue;
            Cell child = cells_head(buffer_of(cell_node(&holder)))[from];
            append(&block, child);
            m.children.push_back(slot_model[from]);
        }
        models.push_back(m);
        cells_head(buffer_of(cell_node(&holder)))[slot] = block;
        slot_model[slot] = models.size() - 1;
        // Garbage between rounds, so that compaction has work to do.
        for (uint32_t n = rng() % 8; n > 0; n--) new_block(rng() % 6);
    }
    gc::collect();
    EXPECT_GT(gc::counters.series_cycles, 1000u);  // the stress mode really collected
    for (uint32_t i = 0; i < SLOTS; i++) {
        if (slot_model[i] == SIZE_MAX) continue;
        Cell c = cells_head(buffer_of(cell_node(&holder)))[i];
        check(c, models, slot_model[i]);
    }
}

}  // namespace
