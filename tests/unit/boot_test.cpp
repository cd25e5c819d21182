// Start-up's own pieces: the boot definitions, the embedded sources, the
// routines the library binds and local file names.  The road from a typed
// line to a printed result is tested end to end by tests/qor.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

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

}  // namespace
}  // namespace qor::test
