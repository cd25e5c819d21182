// Start-up's own pieces: the boot definitions, the embedded sources, the
// routines the library binds and local file names.  The road from a typed
// line to a printed result is tested end to end by tests/qor.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "boot/embedded.hpp"
#include "services/files.hpp"
#include "boot/library.hpp"
#include "boot/payload.hpp"
#include "library/routines.hpp"
#include "datatypes/native.hpp"
#include "runtime_fixture.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_table.hpp"

namespace qor::test {
namespace {

std::string text_of(const embedded::File* f) { return std::string(reinterpret_cast<const char*>(f->data), f->size); }

TEST(BootEmbedded, CarriesEveryLibrarySourceAndTheDefinitions) {
    ASSERT_NE(embedded::find("boot/natives.qor"), nullptr);
    for (const boot::Source* s = boot::LIBRARY_SOURCES; s->name; s++)
        EXPECT_NE(embedded::find(s->name), nullptr) << s->name;
    EXPECT_EQ(embedded::find("library/no-such.qor"), nullptr);
    // Each file ends with the NUL that the table promises.
    for (const embedded::File* f = embedded::all(); f->name; f++) EXPECT_EQ(f->data[f->size], 0) << f->name;
}

// Every routine the library's sources ask for by name is registered, so no
// boot can fail on a missing entry.
TEST(BootRoutines, EveryRequestedRoutineIsRegistered) {
    const std::string marker = "boot-routine '";
    int requested = 0;
    for (const embedded::File* f = embedded::all(); f->name; f++) {
        std::string text = text_of(f);
        for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
            size_t from = at + marker.size();
            size_t to = text.find_first_of(" \t\r\n[", from);
            std::string name = text.substr(from, to - from);
            EXPECT_NE(routines::find(name.c_str()), nullptr) << name << " in " << f->name;
            requested++;
        }
    }
    EXPECT_GT(requested, 80);
    EXPECT_EQ(routines::find("no-such-routine"), nullptr);
}

TEST(BootFileNames, LocalPathsInTheLanguagesForm) {
    struct Case {
        const char* local;
        const char* expected;
    } cases[] = {
        {"C:\\Users\\me\\a.txt", "/C/Users/me/a.txt"},
        {"dir\\\\sub\\", "dir/sub/"},
        {"C:\\\\x", "/C//x"},      // the separator after the colon is absorbed by it
        {"a:b:c", "a/b"},          // a second colon ends the conversion
        {"a\\\\", "a/"},
        {"/home/me//x", "/home/me/x"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(files::to_qor_path(c.local), c.expected) << c.local;
}

class BootPayload : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        lexer::init();
        natives::init();
    }
    // The global value of a word; unset when the word has no slot.
    Cell value_of(const char* name) {
        const Cell* v = context::global_value_pointer(symbol::intern(name));
        return v ? *v : Cell{TYPE_UNSET, 0, 0, 0};
    }
};

TEST_F(BootPayload, BindsTheDatatypeActionAndNativeWords) {
    payload::Counts counts = payload::decode();
    EXPECT_EQ(counts.datatypes, 50u);
    EXPECT_EQ(counts.actions, 59u);
    EXPECT_EQ(counts.natives, 107u);

    // Datatype words name their types, registered or not (event! comes with
    // the GUI).
    Cell integer = value_of("integer!");
    EXPECT_EQ(type_of(&integer), TYPE_DATATYPE);
    EXPECT_EQ(integer.data1, uint32_t(TYPE_INTEGER));
    Cell event = value_of("event!");
    EXPECT_EQ(event.data1, uint32_t(TYPE_EVENT));

    // Actions by slot, natives by table entry: the payload's own order does
    // not matter (modify, reduce, compose and others are out of table order),
    // but every spelling of the lists must have its definition.
    for (uint32_t i = 0; i < natives::NATIVE_COUNT; i++) {
        Cell v = value_of(natives::NATIVE_NAMES[i]);
        EXPECT_EQ(type_of(&v), TYPE_NATIVE) << natives::NATIVE_NAMES[i];
        EXPECT_EQ(native::code_of(&v), natives::table()[i]) << natives::NATIVE_NAMES[i];
    }
    for (int slot = 1; slot <= ACTION_COUNT; slot++) {
        if (slot == SLOT_EVAL_PATH || slot == SLOT_SET_PATH || slot == SLOT_COMPARE) continue;
        Cell v = value_of(ACTION_NAMES[slot]);
        EXPECT_EQ(type_of(&v), TYPE_ACTION) << ACTION_NAMES[slot];
        EXPECT_EQ(native::code_of(&v), actions::dispatcher_table()[slot - 1]) << ACTION_NAMES[slot];
    }
    EXPECT_EQ(payload::native_index("reduce"), 35u);
    EXPECT_EQ(payload::native_index("no-such"), 0u);

    // The three slots without a word stay unbound.
    for (const char* w : {"eval-path", "set-path", "compare"}) {
        const Cell* bound = context::global_value_pointer(symbol::intern(w));
        EXPECT_TRUE(!bound || type_of(bound) == TYPE_UNSET) << w;
    }
}

TEST_F(BootPayload, SpecsKeepTheirDocStringsAndRefinements) {
    payload::decode();
    Cell v = value_of("catch");
    Cell out = string::make(64);
    gc::CellRoot keep(&out);
    Cell spec{TYPE_BLOCK, 0, 0, 0};
    set_cell_node(&spec, native::spec_node(&v));
    dispatch::mold(&spec, &out, false, false, true, nullptr, 10000, 0);
    EXPECT_EQ(string::to_utf8(&out),
              "[{Catches a throw from a block and returns its value} block [block!] \"Block to evaluate\" "
              "/name \"Catches a named throw\" word [word! block!] \"One or more names\"]");
}

// Every other test boots the library unstressed; this one boots it under the
// stress mode (the suite's interval, else every 61st allocation), so a
// value the boot keeps unrooted still shows.
class BootUnderStress : public RuntimeFixture {
protected:
    void SetUp() override {
        boot::runtime_init();
        gc::finish_startup();
        root_block::set_collecting(false);
        every_ = gc::stress_interval() ? gc::stress_interval() : 61;
        gc::set_stress_interval(every_);
        cycles_ = gc::counters.series_cycles;
        boot::boot_library(true);
        open_call();
    }
    uint32_t every_ = 0, cycles_ = 0;
};

TEST_F(BootUnderStress, TheLibraryBootsWithCollectionsThroughoutAndWorks) {
    EXPECT_GT(gc::counters.series_cycles, cycles_ + 100);
    EXPECT_EQ(gc::stress_interval(), every_);
    Cell r = eval("form reduce [mold sort [c a b] rejoin [\"x\" 1 + 2] to-json make map! [a [1 2]]]");
    EXPECT_EQ(string::to_utf8(&r), "[a b c] x3 {\"a\":[1,2]}");
}

// The image that start-up decodes is the one boot/natives.qor makes now:
// the checked-in file, and the copy this build embeds.
TEST_F(BootPayload, CheckedInImageIsCurrent) {
    std::vector<uint8_t> fresh = payload::build_image();
    std::ifstream in(QOR_SOURCE_DIR "/boot/payload.qorbin", std::ios::binary);
    std::vector<uint8_t> checked_in((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(fresh == checked_in)
        << "boot/payload.qorbin is stale (boot/natives.qor or the Qorbin writer changed); refresh it with "
           "tools/refresh-boot-payload.sh and commit it";
    const embedded::File* embedded_image = embedded::find(payload::IMAGE_NAME);
    ASSERT_NE(embedded_image, nullptr);
    EXPECT_TRUE(std::vector<uint8_t>(embedded_image->data, embedded_image->data + embedded_image->size) == checked_in)
        << "the build embeds another boot/payload.qorbin: rebuild";
    // Version 1, compact with a symbol table, no root values.
    ASSERT_GT(fresh.size(), 9u);
    EXPECT_EQ(std::string(fresh.begin(), fresh.begin() + 6), "QORBIN");
    EXPECT_EQ(fresh[6], 1);
    EXPECT_EQ(fresh[7], 5);
    EXPECT_EQ(fresh[8], 0);
}

// Decoding the image binds what the text says, word for word: each
// datatype word its datatype, each action and native word the value of its
// slot or entry over the text's own spec; and in the payload's order.
TEST_F(BootPayload, ImageBindsWhatTheTextDefines) {
    payload::decode();
    Cell defs = payload::definitions();
    gc::CellRoot keep(&defs);
    std::vector<std::string> order;
    uint32_t n = block::remaining_length(&defs);
    for (uint32_t i = 0; i + 1 < n; i++) {
        Cell section = *block::item(&defs, i + 1);
        if (type_of(block::item(&defs, i)) != TYPE_WORD || type_of(&section) != TYPE_BLOCK) continue;
        std::string kind = mold_of(*block::item(&defs, i));
        uint32_t m = block::remaining_length(&section);
        for (uint32_t k = 0; k < m; k++) {
            Cell w = *block::item(&section, k);
            if (kind == "datatypes") {
                Cell v = value_of(mold_of(w).c_str());
                EXPECT_EQ(type_of(&v), TYPE_DATATYPE) << mold_of(w);
                EXPECT_EQ(std::string(TYPE_NAMES[v.data1]), mold_of(w));
                order.push_back(mold_of(w));
                continue;
            }
            std::string name = mold_of(w);
            name.pop_back();   // the set-word's colon
            Cell v = value_of(name.c_str());
            Cell spec = *block::item(&section, ++k);
            EXPECT_EQ(type_of(&v), kind == "actions" ? TYPE_ACTION : TYPE_NATIVE) << name;
            Cell bound_spec{TYPE_BLOCK, 0, 0, 0};
            set_cell_node(&bound_spec, native::spec_node(&v));
            EXPECT_EQ(mold_of(bound_spec, true, 100000), mold_of(spec, true, 100000)) << name;
            order.push_back(name);
        }
    }
    ASSERT_EQ(order.size(), 216u);
    auto position = [&](const char* name) {
        for (size_t i = 0; i < order.size(); i++)
            if (order[i] == name) return int(i);
        return -1;
    };
    EXPECT_EQ(order[0], "unset!");
    EXPECT_EQ(order[49], "event!");
    EXPECT_EQ(order[50], "make");
    EXPECT_EQ(position("modify"), position("mold") + 1);
    EXPECT_EQ(position("reduce"), position("do") + 1);
    EXPECT_EQ(position("compose"), position("do") + 2);
    EXPECT_EQ(position("unique") + 1, position("intersect"));
    EXPECT_EQ(position("zero?"), position("NaN?") + 1);
    EXPECT_EQ(position("enbase"), position("debase") + 1);
}

}  // namespace
}  // namespace qor::test
