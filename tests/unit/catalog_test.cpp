// The error catalog: its categories and ids in order, the numbering rule,
// and the catalog object built from the table.
#include "datatypes/error_catalog.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Catalog : public ObjectFixture {};

TEST(CatalogTable, CategoriesAndCounts) {
    struct Expect {
        const char* name;
        const char* type;
        uint32_t count;
    };
    const Expect expected[] = {
        {"throw", "Throw Error", 5},         {"note", "note", 1},
        {"syntax", "Syntax Error", 7},       {"script", "Script Error", 94},
        {"math", "Math Error", 3},           {"access", "Access Error", 15},
        {"reserved1", "Reserved1 Error", 0}, {"reserved2", "Reserved2 Error", 0},
        {"user", "User Error", 1},           {"internal", "Internal Error", 14},
    };
    for (uint32_t i = 0; i < error_catalog::CATEGORY_COUNT; i++) {
        const auto& c = error_catalog::category(i);
        EXPECT_STREQ(c.name, expected[i].name);
        EXPECT_STREQ(c.type, expected[i].type);
        EXPECT_EQ(c.count, expected[i].count) << c.name;
        EXPECT_EQ(error_catalog::category_index(c.name), int32_t(i));
    }
    EXPECT_EQ(error_catalog::total_ids(), 140u);
}

TEST(CatalogTable, Numbering) {
    struct Expect {
        const char* category;
        const char* id;
        int32_t code;
    };
    const Expect expected[] = {
        {"throw", "break", 0},           {"throw", "while-cond", 4},      {"note", "no-load", 100},
        {"syntax", "invalid", 200},      {"syntax", "bad-char", 206},     {"script", "no-value", 300},
        {"script", "need-value", 301},   {"script", "expect-arg", 305},   {"script", "bad-func-def", 321},
        {"script", "invalid-path", 331}, {"script", "bad-make-arg", 353}, {"script", "invalid-obj-evt", 364},
        {"script", "qb-invalid-record", 393}, {"math", "zero-divide", 400}, {"math", "positive", 402},
        {"access", "cannot-open", 500},  {"access", "invalid-cmd", 514},  {"user", "message", 800},
        {"internal", "bad-path", 900},   {"internal", "no-memory", 902},  {"internal", "wrong-mem", 903},
        {"internal", "stack-overflow", 904}, {"internal", "not-done", 909}, {"internal", "deprecated", 913},
        {"script", "no-such-id", -1},    {"nope", "break", -1},
    };
    for (const Expect& e : expected) EXPECT_EQ(error_catalog::code_of(e.category, e.id), e.code) << e.id;
}

TEST_F(Catalog, BuiltObjectFollowsTheTable) {
    Cell errors = *error_catalog::installed();
    gc::CellRoot keep(&errors);
    Node ectx = object::context_of(&errors);
    ASSERT_EQ(context::word_count(ectx), error_catalog::CATEGORY_COUNT);
    EXPECT_EQ(object::class_of(&errors), object::BOOT_CLASS);
    for (uint32_t c = 0; c < error_catalog::CATEGORY_COUNT; c++) {
        const auto& entry = error_catalog::category(c);
        EXPECT_EQ(spelling_of(int32_t(context::word_cell_at(ectx, int32_t(c))->data2)), entry.name);
        Cell cat = *object::value_pointer_at(ectx, int32_t(c));
        ASSERT_EQ(type_of(&cat), TYPE_OBJECT);
        gc::CellRoot keep_cat(&cat);
        Node cctx = object::context_of(&cat);
        ASSERT_EQ(context::word_count(cctx), entry.count + 2) << entry.name;
        EXPECT_EQ(int_field(cat, "code"), int32_t(c * 100));
        EXPECT_EQ(form_text(field_of(cat, "type")), entry.type);
        for (uint32_t i = 0; i < entry.count; i++) {
            EXPECT_EQ(spelling_of(int32_t(context::word_cell_at(cctx, int32_t(i + 2))->data2)), entry.ids[i].id);
            // Every template holds what its text in the table says.
            Cell tmpl = *object::value_pointer_at(cctx, int32_t(i + 2));
            gc::CellRoot keep_tmpl(&tmpl);
            Cell read = first_of(entry.ids[i].message);
            EXPECT_EQ(type_of(&tmpl), type_of(&read)) << entry.ids[i].id;
            EXPECT_EQ(mold_text(tmpl), mold_text(read)) << entry.name << "/" << entry.ids[i].id;
        }
    }
    // The kinds of words in templates: get-words, plain words in internal's,
    // and the bare word arg1 for user/message.
    Cell script = field_of(errors, "script");
    Cell expect_arg = field_of(script, "expect-arg");
    EXPECT_EQ(type_of(block::cell_at(&expect_arg, 0)), TYPE_GET_WORD);
    EXPECT_EQ(type_of(block::cell_at(&expect_arg, 1)), TYPE_STRING);
    Cell internal = field_of(errors, "internal");
    Cell bad_path = field_of(internal, "bad-path");
    EXPECT_EQ(type_of(block::cell_at(&bad_path, 1)), TYPE_WORD);
    Cell user = field_of(errors, "user");
    EXPECT_EQ(field_type(user, "message"), TYPE_WORD);
    // Building it moved no user class id.
    Cell first = make_object("a: 1");
    EXPECT_EQ(object::class_of(&first), 1000001);
}

}  // namespace
}  // namespace qor
