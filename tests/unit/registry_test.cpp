// The datatype registry (registration, inheritance, the tables) and the
// datatype! type.
#include "datatypes/registry.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "datatypes/stack.hpp"
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

using namespace qor;
using namespace qor::test;

namespace {

// Scratch implementations that tell the slots apart.
int32_t form_a(Cell*, Cell*, Cell*, int32_t limit) { return limit - 1; }
int32_t form_b(Cell*, Cell*, Cell*, int32_t limit) { return limit - 2; }
int32_t compare_a(Cell*, Cell*, int32_t) { return 0; }
void add_a() {}

// Registers scratch types on ids the product leaves free, and puts the
// registry back as it was afterwards.
class RegistryScratch : public ::testing::Test {
protected:
    void SetUp() override { saved_ = registry::tables(); }
    void TearDown() override {
        registry::tables() = saved_;
        registry::set_word_factory(nullptr);
    }
    static TypeSpec scratch(uint32_t id, uint32_t parent, const char* name) {
        TypeSpec spec = make_type_spec(id);
        spec.parent = parent;
        spec.name = name;
        return spec;
    }
    RegistryTables saved_;
};

TEST_F(RegistryScratch, ChildInheritsParentEntriesAsRegistered) {
    TypeSpec parent = scratch(55, 0, "scratch-parent!");
    set_slot<SLOT_FORM>(parent, form_a);
    set_slot<SLOT_ADD>(parent, add_a);
    install_datatype(TYPE_SPEC_WORDS, &parent);

    TypeSpec child = scratch(56, 55, "scratch-child!");
    inherit_slot(child, SLOT_FORM);       // parent fills it
    inherit_slot(child, SLOT_MOLD);       // parent has 0
    inherit_slot(child, SLOT_ADD);        // a direct slot inherits the same way
    set_slot<SLOT_COMPARE>(child, compare_a);
    install_datatype(TYPE_SPEC_WORDS, &child);

    EXPECT_EQ(registry::action<SLOT_FORM>(56), form_a);
    EXPECT_EQ(registry::action<SLOT_MOLD>(56), nullptr);
    EXPECT_EQ(registry::action<SLOT_ADD>(56), add_a);
    EXPECT_EQ(registry::action<SLOT_COMPARE>(56), compare_a);
    EXPECT_EQ(registry::action<SLOT_COMPARE>(55), nullptr);
    EXPECT_EQ(registry::highest_type(), 56u);

    // Changing the parent later does not reach the child.
    set_slot<SLOT_FORM>(parent, form_b);
    install_datatype(TYPE_SPEC_WORDS, &parent);
    EXPECT_EQ(registry::action<SLOT_FORM>(55), form_b);
    EXPECT_EQ(registry::action<SLOT_FORM>(56), form_a);
}

// An inherit marker with no parent must not reach the table as an address.
TEST_F(RegistryScratch, InheritWithoutParentIsUnsupported) {
    TypeSpec spec = scratch(55, 0, "orphan!");
    inherit_slot(spec, SLOT_FORM);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    EXPECT_EQ(registry::entry(55, SLOT_FORM), ACTION_NONE);
}

TEST_F(RegistryScratch, NameEntryAndWord) {
    static Cell word;
    registry::set_word_factory([](const char* name) -> Cell* {
        return std::string(name) == "integer!" ? &word : nullptr;
    });
    TypeSpec spec = make_type_spec(TYPE_INTEGER);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    const TypeNameEntry& entry = registry::type_name(TYPE_INTEGER);
    EXPECT_STREQ(entry.name, "integer!");
    EXPECT_EQ(entry.length, 7u);
    EXPECT_EQ(entry.word, &word);

    // Ids never registered, or outside the table, have the empty name.
    EXPECT_STREQ(registry::type_name(55).name, "");
    EXPECT_STREQ(registry::type_name(200).name, "");
    EXPECT_EQ(registry::entry(200, SLOT_FORM), ACTION_NONE);
    EXPECT_EQ(registry::entry(TYPE_INTEGER, 0), ACTION_NONE);
    EXPECT_EQ(registry::entry(TYPE_INTEGER, ACTION_COUNT + 1), ACTION_NONE);
}

// A broken registration prints its report and ends the process with a
// failure status.  Death tests read the child's standard error, so the
// report is sent there; written to a pipe, its lines end in CR LF.
void install_reporting_to_stderr(uint32_t words, const TypeSpec& spec) {
    std::fflush(stdout);
#ifdef _WIN32
    _dup2(_fileno(stderr), _fileno(stdout));
#else
    dup2(fileno(stderr), fileno(stdout));
#endif
    install_datatype(words, &spec);
}

TEST(RegistryDeathTest, BrokenRegistrationsStopTheProcess) {
    TypeSpec good = make_type_spec(TYPE_LOGIC);
    TypeSpec bad_id = make_type_spec(TYPE_LOGIC);
    bad_id.id = 57;
    TypeSpec bad_name = make_type_spec(TYPE_LOGIC);
    bad_name.name = "logic";
    struct Case {
        uint32_t words;
        const TypeSpec* spec;
        const char* report;
    } cases[] = {
        {64, &good,
         "\\*\\*\\* Datatype Error: invalid actions count for type: 4\r?\n"
         "\\*\\*\\* Found: 61\r?\n\\*\\*\\* Expected: 62\r?\n"},
        {TYPE_SPEC_WORDS, &bad_id, "invalid type id: 57\r?\n"},
        {TYPE_SPEC_WORDS, &bad_name, "invalid name for type: 4\r?\n"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(install_reporting_to_stderr(c.words, *c.spec), ::testing::ExitedWithCode(1),
                    c.report);
}

// The core types and two scratch ones over a fresh memory manager (forms
// and molds write strings); ids left unregistered stay so.
class DatatypeType : public qor::testing::CoreTypesFixture {
protected:
    void register_types() override {
        TypeSpec integer = make_type_spec(TYPE_INTEGER);
        install_datatype(TYPE_SPEC_WORDS, &integer);
        TypeSpec fl = make_type_spec(TYPE_FLOAT);
        install_datatype(TYPE_SPEC_WORDS, &fl);
    }
};

TEST_F(DatatypeType, FormAndMold) {
    EXPECT_EQ(form_of(datatype_cell(TYPE_INTEGER)), "integer");
    EXPECT_EQ(mold_of(datatype_cell(TYPE_INTEGER)), "integer!");
    EXPECT_EQ(mold_of(datatype_cell(TYPE_INTEGER), true), "#(integer!)");
    EXPECT_EQ(form_of(datatype_cell(TYPE_DATATYPE)), "datatype");
    EXPECT_EQ(mold_of(datatype_cell(TYPE_NONE), true), "#(none!)");
    // An id nothing registered forms as nothing rather than reading a name.
    EXPECT_EQ(form_of(datatype_cell(55)), "");
    EXPECT_EQ(mold_of(datatype_cell(200), true), "#()");
}

TEST_F(DatatypeType, Compare) {
    Cell integer = datatype_cell(TYPE_INTEGER);
    Cell fl = datatype_cell(TYPE_FLOAT);
    for (int32_t op : {COMP_EQUAL, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_SAME, COMP_FIND}) {
        EXPECT_EQ(compare_of(integer, integer, op), 0) << op;
        EXPECT_EQ(compare_of(integer, fl, op), 1) << op;
        EXPECT_EQ(compare_of(integer, integer_cell(TYPE_INTEGER), op), 1) << op;
    }
    for (int32_t op : {COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER, COMP_GREATER_EQUAL, COMP_SORT,
                       COMP_CASE_SORT, COMP_WORD_MATCH, COMP_WORD_MATCH_CANONICAL})
        EXPECT_EQ(compare_of(integer, fl, op), COMPARE_INCOMPARABLE) << op;
}

TEST_F(DatatypeType, PushNew) {
    stack::seam_start_call();
    Cell* cell = datatype::push_new(TYPE_LOGIC);
    EXPECT_EQ(cell, stack::top_value());
    EXPECT_EQ(cell->header, uint32_t(TYPE_DATATYPE));
    EXPECT_EQ(cell->data1, uint32_t(TYPE_LOGIC));
}

TEST_F(DatatypeType, CoreTypesRegisterTheirSlots) {
    // Exactly the listed slots, nothing inherited.
    struct Case {
        uint32_t type;
        std::initializer_list<int> slots;
    } cases[] = {
        {TYPE_DATATYPE, {SLOT_FORM, SLOT_MOLD, SLOT_COMPARE}},
        {TYPE_UNSET, {SLOT_MAKE, SLOT_TO, SLOT_FORM, SLOT_MOLD, SLOT_COMPARE}},
        {TYPE_NONE, {SLOT_MAKE, SLOT_TO, SLOT_FORM, SLOT_MOLD, SLOT_COMPARE, SLOT_CLEAR, SLOT_FIND,
                     SLOT_LENGTH_Q, SLOT_REMOVE, SLOT_SELECT, SLOT_TAKE}},
        {TYPE_LOGIC, {SLOT_MAKE, SLOT_RANDOM, SLOT_TO, SLOT_FORM, SLOT_MOLD, SLOT_COMPARE,
                      SLOT_AND_T, SLOT_COMPLEMENT, SLOT_OR_T, SLOT_XOR_T}},
    };
    for (const Case& c : cases) {
        for (int s = 1; s <= ACTION_COUNT; ++s) {
            bool listed = false;
            for (int l : c.slots) listed |= l == s;
            EXPECT_EQ(registry::entry(c.type, s) != ACTION_NONE, listed)
                << TYPE_NAMES[c.type] << " slot " << ACTION_NAMES[s];
        }
    }
    EXPECT_EQ(registry::action<SLOT_MAKE>(TYPE_UNSET), registry::action<SLOT_TO>(TYPE_UNSET));
    EXPECT_EQ(registry::action<SLOT_MAKE>(TYPE_NONE), registry::action<SLOT_TO>(TYPE_NONE));
}

}  // namespace
