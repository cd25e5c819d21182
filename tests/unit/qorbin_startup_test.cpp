// The Qorbin reader's start-up form: definition records, words bound through
// a root cell's context, natives and actions made from their table index,
// the range checks on every index, and error mode `no`.  Images are built
// by hand, byte by byte, so each case shows the bytes it is about.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/native.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_table.hpp"
#include "runtime_fixture.hpp"
#include "services/qorbin.hpp"

namespace qor::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A compact image: version 1, a symbol table when there are spellings,
// root count 0 (readers ignore it), then the records.
Bytes image(std::initializer_list<const char*> symbols, const Bytes& records) {
    Bytes out = {'Q', 'O', 'R', 'B', 'I', 'N', 1, uint8_t(symbols.size() ? 5 : 1), 0};
    auto varint = [&](uint32_t v) {
        do {
            out.push_back(uint8_t((v & 0x7F) | (v > 0x7F ? 0x80 : 0)));
            v >>= 7;
        } while (v);
    };
    varint(uint32_t(records.size()));
    if (symbols.size()) {
        std::string text;
        Bytes offsets;
        for (const char* s : symbols) {
            for (int i = 0; i < 4; i++) offsets.push_back(uint8_t(text.size() >> (8 * i)));
            text += s;
            text.push_back('\0');
        }
        varint(uint32_t(symbols.size()));
        varint(uint32_t(text.size()));
        out.insert(out.end(), offsets.begin(), offsets.end());
        out.insert(out.end(), text.begin(), text.end());
    }
    out.insert(out.end(), records.begin(), records.end());
    return out;
}

// Record bytes.
constexpr uint8_t DEF = 0xC4;
constexpr uint8_t WORD = 0x0F, WORD_BOUND = 0x4F, SET_WORD = 0x10, SET_WORD_BOUND = 0x50;
constexpr uint8_t NATIVE = 0x15, ACTION = 0x16, BLOCK = 0x05;
constexpr uint8_t INT(int n) { return uint8_t(0x80 + n); }   // 0..63
// An object root over the words of symbols 0 and 1, valued 1 and 2.
const Bytes OBJECT_AB = {0x20, 0x00, 0x0E, 0x1A, 0x02, 0x00, 0x01, INT(1), INT(2)};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class QorbinStartup : public RuntimeFixture {
protected:
    // Reads the image in the start-up form into a new block; answers it.
    Cell read(const Bytes& bytes, uint32_t prefilled = 0) {
        Cell target = block::make(8);
        gc::CellRoot keep(&target);
        for (uint32_t i = 0; i < prefilled; i++) {
            Cell n = integer::make(100 + int32_t(i));
            block::append_copy(&target, &n);
        }
        qorbin::decode_startup(bytes.data(), int32_t(bytes.size()), &target);
        return target;
    }
    // "category/id @position" of the error a start-up read raises.
    std::string rejection(const Bytes& bytes) {
        RaisedError e = raised_by([&] { read(bytes); });
        std::string at = e.args[0].given && type_of(&e.args[0].value) == TYPE_INTEGER
                             ? " @" + std::to_string(int_of(&e.args[0].value))
                             : "";
        return e.category + "/" + e.id + at;
    }
    Cell global(const char* name) {
        const Cell* v = context::global_value_pointer(symbol::intern(name));
        return v ? *v : unset_cell();
    }
};

TEST_F(QorbinStartup, DefinitionsSetTheirWordAndLeaveNothing) {
    uint8_t reduce = uint8_t(payload::native_index("reduce"));
    Cell target = read(image({"zz-int", "zz-native", "zz-action", "value", "zz-type"},
                             {DEF, SET_WORD, 0, INT(10),
                              DEF, SET_WORD, 1, NATIVE, reduce, BLOCK, 1, WORD, 3,
                              DEF, SET_WORD, 2, ACTION, 6, BLOCK, 1, WORD, 3,
                              // event! is named although the GUI registers it later
                              DEF, SET_WORD, 4, 0x01, uint8_t(TYPE_EVENT)}));
    EXPECT_EQ(block::total_length(&target), 0u);
    EXPECT_EQ(mold_of(global("zz-int")), "10");
    Cell n = global("zz-native");
    ASSERT_EQ(type_of(&n), TYPE_NATIVE);
    EXPECT_EQ(native::code_of(&n), natives::table()[reduce - 1]);
    Cell spec{TYPE_BLOCK, 0, 0, 0};
    set_cell_node(&spec, native::spec_node(&n));
    EXPECT_EQ(mold_of(spec), "[value]");
    Cell a = global("zz-action");
    ASSERT_EQ(type_of(&a), TYPE_ACTION);
    EXPECT_EQ(native::code_of(&a), actions::dispatcher_table()[5]);
    Cell t = global("zz-type");
    EXPECT_EQ(type_of(&t), TYPE_DATATYPE);
    EXPECT_EQ(t.data1, uint32_t(TYPE_EVENT));
}

// Outside a definition, a top-level native leaves its spec after it.
TEST_F(QorbinStartup, TopLevelNativeLeavesItsSpecBehind) {
    Cell target = read(image({"value"}, {NATIVE, 1, BLOCK, 1, WORD, 0}));
    ASSERT_EQ(block::total_length(&target), 2u);
    EXPECT_EQ(type_of(block::cell_at(&target, 0)), TYPE_NATIVE);
    EXPECT_EQ(mold_of(*block::cell_at(&target, 1)), "[value]");
    // Nested, the spec is the native's alone.
    target = read(image({"value"}, {BLOCK, 1, NATIVE, 1, BLOCK, 1, WORD, 0}));
    ASSERT_EQ(block::total_length(&target), 1u);
    EXPECT_EQ(block::total_length(block::cell_at(&target, 0)), 1u);
}

// Root 0 is the object; words name it by root index, by slot or by
// spelling (slot -1), counted from the first cell this read appends.
TEST_F(QorbinStartup, WordsBindThroughARootCellsContext) {
    Cell target = read(image({"a", "b"}, OBJECT_AB + Bytes{WORD_BOUND, 0, 0, 0,        // a: root 0, slot 0
                                                           WORD_BOUND, 1, 0, 0x01,     // b: root 0, by spelling
                                                           DEF, SET_WORD_BOUND, 0, 0, 0x00, INT(5)}),
                       2);
    ASSERT_EQ(block::total_length(&target), 5u);
    Cell obj = *block::cell_at(&target, 2);
    ASSERT_EQ(type_of(&obj), TYPE_OBJECT);
    for (uint32_t i : {3u, 4u}) {
        Cell w = *block::cell_at(&target, i);
        EXPECT_EQ(word::context_of(&w), object::context_of(&obj)) << i;
    }
    EXPECT_EQ(mold_of(*context::get_word_value(block::cell_at(&target, 3))), "5");   // a, set by the definition
    EXPECT_EQ(mold_of(*context::get_word_value(block::cell_at(&target, 4))), "2");
}

// The fixed-width start-up form: bit 25 of a word's header marks a
// definition; root -1 is the global context, slot -1 a look-up.
TEST_F(QorbinStartup, FixedWidthFormBindsAndDefines) {
    Bytes records;
    auto word32 = [&](uint32_t w) {
        for (int i = 0; i < 4; i++) records.push_back(uint8_t(w >> (8 * i)));
    };
    for (uint32_t w : {0x02000010u, 0u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x0Bu, 9u,   // zz-fixed: 9
                       0x5800000Eu, 1u, 1u, 0x0Bu, 8u,                         // root 0: context [a: 8]
                       0x0000000Fu, 1u, 0u, 0xFFFFFFFFu})                      // a, root 0, by spelling
        word32(w);
    Bytes bytes = {'Q', 'O', 'R', 'B', 'I', 'N', 1, 4};
    std::string text("zz-fixed\0a\0", 11);
    for (uint32_t w : {0u, uint32_t(records.size()), 2u, uint32_t(text.size()), 0u, 9u})
        for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(w >> (8 * i)));
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.insert(bytes.end(), records.begin(), records.end());
    Cell target = read(bytes);
    ASSERT_EQ(block::total_length(&target), 2u);
    EXPECT_EQ(mold_of(global("zz-fixed")), "9");
    EXPECT_EQ(mold_of(*context::get_word_value(block::cell_at(&target, 1))), "8");
}

// Every index the start-up form trusts is checked against what exists.
// Positions are 1-based; the records start at byte 11 without symbols, 19
// with one, 25 with two and 31 with three.
TEST_F(QorbinStartup, OutOfRangeIndexesAreRejected) {
    uint8_t past_natives = uint8_t(natives::NATIVE_COUNT + 1);
    const struct {
        const char* what;
        Bytes bytes;
        const char* expected;
    } cases[] = {
        {"symbol index", image({"a"}, {WORD, 1}), "script/qb-invalid-record @21"},
        {"root index past the roots", image({"a", "b"}, OBJECT_AB + Bytes{WORD_BOUND, 0, 1, 0}),
         "script/qb-invalid-record @38"},
        {"root that holds no context", image({"a"}, {INT(1), WORD_BOUND, 0, 0, 0}), "script/qb-invalid-record @24"},
        {"slot past the words", image({"a", "b"}, OBJECT_AB + Bytes{WORD_BOUND, 0, 0, 4}),
         "script/qb-invalid-record @38"},
        {"negative slot", image({"a", "b"}, OBJECT_AB + Bytes{WORD_BOUND, 0, 0, 3}), "script/qb-invalid-record @38"},
        {"spelling not in the context", image({"a", "b", "c"}, OBJECT_AB + Bytes{WORD_BOUND, 2, 0, 1}),
         "script/qb-invalid-record @44"},
        {"native 0", image({}, {NATIVE, 0, BLOCK, 0}), "script/qb-invalid-record @13"},
        {"native past the table", image({}, {NATIVE, past_natives, BLOCK, 0}), "script/qb-invalid-record @13"},
        {"action 0", image({}, {ACTION, 0, BLOCK, 0}), "script/qb-invalid-record @13"},
        {"action 63", image({}, {ACTION, 63, BLOCK, 0}), "script/qb-invalid-record @13"},
        {"spec not a block", image({}, {NATIVE, 1, INT(1)}), "script/qb-invalid-record @14"},
        {"definition of an integer", image({}, {DEF, INT(1)}), "script/qb-invalid-record @12"},
        {"definition of a block", image({}, {DEF, BLOCK, 0}), "script/qb-invalid-record @12"},
        {"definition whose value is one", image({"a"}, {DEF, SET_WORD, 0, DEF, SET_WORD, 0, INT(1)}),
         "script/qb-invalid-record @26"},
        {"truncated", image({"a"}, {DEF, SET_WORD, 0}), "script/qb-invalid-record @22"},
    };
    for (const auto& c : cases) EXPECT_EQ(rejection(c.bytes), c.expected) << c.what;
}

// The codec form refuses definitions at the prefix byte.
TEST_F(QorbinStartup, CodecModeRefusesDefinitions) {
    Bytes bytes = image({"a"}, {DEF, SET_WORD, 0, INT(1)});
    Cell target = block::make(4);
    gc::CellRoot keep(&target);
    RaisedError e = raised_by([&] { qorbin::decode(bytes.data(), int32_t(bytes.size()), &target, nullptr); });
    EXPECT_EQ(e.category + "/" + e.id, "script/qb-invalid-record");
    EXPECT_EQ(mold_of(e.args[0].value), "19");   // the prefix byte
    EXPECT_EQ(qorbin::codec_mode, 1);
}

// decode_boot reads into the root block and answers root cell 0; with the
// keep flag payload_root_base is left as it was.  As at start-up, words
// made meanwhile are kept in the root block, yet none lands among the
// roots.
TEST_F(QorbinStartup, BootReadFillsTheRootBlock) {
    Bytes bytes = image({"zz-boot", "zz-boot-native", "value"},
                        {DEF, SET_WORD, 0, INT(7), INT(3),
                         DEF, SET_WORD, 1, NATIVE, 1, BLOCK, 1, WORD, 2, INT(4)});
    Cell* before = qorbin::payload_root_base;
    uint32_t first = root_block::length();
    root_block::set_collecting(true);
    Cell* root0 = qorbin::decode_boot(bytes.data(), true, int32_t(bytes.size()));
    root_block::set_collecting(false);
    EXPECT_EQ(qorbin::codec_mode, 0);
    EXPECT_EQ(qorbin::payload_root_base, before);
    EXPECT_EQ(root_block::length(), first + 2);
    EXPECT_EQ(root0, root_block::cell_at(first));
    EXPECT_EQ(mold_of(*root0), "3");
    EXPECT_EQ(mold_of(root0[1]), "4");
    Cell n = global("zz-boot-native");
    EXPECT_EQ(type_of(&n), TYPE_NATIVE);
    EXPECT_EQ(mold_of(global("zz-boot")), "7");
    root0 = qorbin::decode_boot(bytes.data(), false, int32_t(bytes.size()));
    EXPECT_EQ(qorbin::payload_root_base, root0);
}

// Error mode `no`: a payload that cannot be read ends the process with a
// failure status, never with 0.
TEST_F(QorbinStartup, CorruptBootPayloadEndsTheProcess) {
    // The record byte count claims one byte more than there is.
    Bytes truncated = image({"a"}, {DEF, SET_WORD, 0, INT(1)});
    truncated.pop_back();
    EXPECT_EXIT(qorbin::decode_boot(truncated.data(), false, int32_t(truncated.size())),
                testing::ExitedWithCode(98), "Error: QORBIN - invalid record at index 19");
    Bytes foreign = {'N', 'O', 'T', 'Q', 'O', 'R', 1, 5, 0, 0};
    EXPECT_EXIT(qorbin::decode_boot(foreign.data(), false, int32_t(foreign.size())),
                testing::ExitedWithCode(98), "Error: Not a Qorbin file!");
}

}  // namespace
}  // namespace qor::test
