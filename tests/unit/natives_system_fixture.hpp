// Set-up for the tests of the series, system, checksum and random natives:
// the natives fixture plus datatype words for the types that are not
// registered yet (their values can already be made), and a value hook that
// records what print and prin hand over.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/string.hpp"
#include "datatypes/binary.hpp"
#include "evaluator/natives_system.hpp"
#include "natives_fixture.hpp"
#include "runtime/output_hooks.hpp"

namespace qor::test {

class SystemNativesFixture : public NativesFixture {
protected:
    // What the value hook received: each text, then "|" for a line end.
    static std::string& printed() {
        static std::string text;
        return text;
    }
    static void record_value(const Cell* text, bool new_line) {
        printed() += string::to_utf8(text);
        if (new_line) printed() += "|";
    }
    // What the runtime's own writer sent to the standard output (UTF-8).
    static std::string& console_text() {
        static std::string text;
        return text;
    }
    static void record_text(const void* text, int32_t length, int32_t unit) {
        if (unit == 0) console_text().append(static_cast<const char*>(text), size_t(length));
    }

    void SetUp() override {
        NativesFixture::SetUp();
        for (uint32_t t : {TYPE_BINARY, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_PAIR, TYPE_MAP,
                           TYPE_DATE, TYPE_MONEY, TYPE_HASH, TYPE_PERCENT, TYPE_POINT2D, TYPE_POINT3D}) {
            if (!context::global_value_pointer(symbol::intern(TYPE_NAMES[t])) ||
                type_of(context::global_value_pointer(symbol::intern(TYPE_NAMES[t]))) != TYPE_DATATYPE)
                set_global(TYPE_NAMES[t], Cell{TYPE_DATATYPE, t, 0, 0});
        }
        output_hooks::add(record_value, record_text);
        printed().clear();
        console_text().clear();
    }

    void TearDown() override {
        output_hooks::remove(record_value, record_text);
        NativesFixture::TearDown();
    }

    // Binds a global word to a value made in C++ (for types the lexer does
    // not load yet).
    void bind_value(const char* name, Cell value) {
        gc::CellRoot keep(&value);
        set_global(name, value);
    }

    // The bytes of a binary! from its index, as upper-case hexadecimal.
    static std::string hex_of(const Cell& binary) {
        if (type_of(&binary) != TYPE_BINARY) return "<not a binary>";
        uint32_t n = binary::length_from_index(&binary);
        const uint8_t* p = binary::data_at_index(&binary);
        static const char digits[] = "0123456789ABCDEF";
        std::string out;
        for (uint32_t i = 0; i < n; i++) {
            out += digits[p[i] >> 4];
            out += digits[p[i] & 15];
        }
        return out;
    }
    static Cell binary_from_hex(const std::string& hex) {
        std::string bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
        return binary::make(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
    }
    // Calls the entry as compiled code does (check? true) with the argument
    // cells and refinement positions; it must raise script/expect-arg.
    struct CheckedCall {
        NativeFn fn;
        std::vector<Cell> args;
        std::vector<int32_t> refinements;
    };
    void expect_arg_errors(std::initializer_list<CheckedCall> calls) {
        int n = 0;
        for (const CheckedCall& c : calls) {
            stack::Checkpoint cp = stack::checkpoint();
            stack::mark_native(nullptr);
            for (const Cell& a : c.args) stack::push(&a);
            int32_t refinements[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
            for (size_t i = 0; i < c.refinements.size() && i < 8; i++) refinements[i] = c.refinements[i];
            try {
                c.fn(true, refinements);
                ADD_FAILURE() << "no error for call " << n;
            } catch (const Thrown& t) {
                EXPECT_EQ(t.code, THROW_ERROR);
                EXPECT_EQ(last_raised_error().id, "expect-arg") << "call " << n;
            }
            stack::restore(cp);
            n++;
        }
    }

    // The error id of the text, or "ok" when nothing was raised.
    std::string error_id(const std::string& text) {
        std::string r = run_mold(text);
        return r.rfind("error ", 0) == 0 ? r.substr(6) : "ok";
    }
};

}  // namespace qor::test
