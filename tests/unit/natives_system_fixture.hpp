// Set-up for the tests of the series, system, checksum and random natives:
// the natives fixture plus these natives bound with their specs, the
// `random` action, datatype words for the types that are not registered yet
// (their values can already be made), and a value hook that records what
// print and prin hand over.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/string.hpp"
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
        set_global("any-path!", typeset_of({TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}));
        static const char* const specs[][2] = {
            {"dehex", R"~("Converts URL-style hex encoded (%xx) strings" value [any-string!] return: [string!])~"},
            {"enhex", R"~("Encode URL-style hex encoded (%xx) strings" value [any-string!] return: [string!])~"},
            {"debase", R"~("Decodes binary-coded string (BASE-64 default) to binary value" value [string!]
                          /base base-value [integer!])~"},
            {"enbase", R"~("Encodes a string into a binary-coded string (BASE-64 default)" value [binary! string!]
                          /base base-value [integer!])~"},
            {"uppercase", R"~("Converts string of characters to uppercase" string [any-string! char!]
                             /part limit [number! any-string!])~"},
            {"lowercase", R"~("Converts string of characters to lowercase" string [any-string! char!]
                             /part limit [number! any-string!])~"},
            {"new-line", R"~("Sets or clears the new-line marker within a list series"
                            position [block! paren! hash!] value [logic!] /all /skip size [integer!])~"},
            {"new-line?", R"~("Returns the state of the new-line marker within a list series"
                             position [block! paren! hash!])~"},
            {"as-pair", R"~("Combine X and Y values into a pair" x [integer! float!] y [integer! float!])~"},
            {"as-point2D", R"~("Combine X and Y values into a 2D point" x [integer! float!] y [integer! float!])~"},
            {"as-point3D", R"~("Combine X, Y and Z values into a 3D point"
                              x [integer! float!] y [integer! float!] z [integer! float!])~"},
            {"as-money", R"~("Combine currency code and amount into a monetary value"
                            currency [word!] amount [integer! float!])~"},
            {"as", R"~("Coerce a series into a compatible datatype without copying it"
                      type [datatype! block! paren! any-path! any-string!]
                      spec [block! paren! any-path! any-string!])~"},
            {"size?", R"~("Returns the size of a file content" file [file!] return: [integer! none!])~"},
            {"to-local-file", R"~("Converts a Qor file path to the local system file path" path [file! string!]
                                 /full "Prepends current dir for full path (for relative paths only)"
                                 return: [string!])~"},
            {"print", R"~("Outputs a value followed by a newline" value [any-type!])~"},
            {"prin", R"~("Outputs a value" value [any-type!])~"},
            {"stats", R"~("Returns interpreter statistics" /show "TBD:" /info "Return detailed info")~"},
            {"recycle", R"~("Recycles unused memory and returns memory amount still in use"
                           /on "Turns on garbage collector" /off "Turns off garbage collector")~"},
            {"wait", R"~("Waits for a duration in seconds or specified time" value [number! time! block! none!]
                        /all "Returns all events in a block")~"},
            {"now", R"~("Returns date and time" /year /month /day /time /zone /date /weekday /yearday
                       /precise /utc)~"},
            {"set-env", R"~("Sets the value of an operating system environment variable"
                           var [any-string! any-word!] value [string! none!])~"},
            {"get-env", R"~("Returns the value of an OS environment variable" var [any-string! any-word!])~"},
            {"list-env", R"~("Returns a map of OS environment variables")~"},
            {"call", R"~("Executes a shell command to run another process" cmd [string! file!]
                        /wait /show /console /shell /input in [string! file! binary!]
                        /output out [string! file! binary!] /error err [string! file! binary!])~"},
            {"browse", R"~("Opens the URL in a web browser or the file in the associated application"
                          url [url! file!])~"},
            {"compress", R"~("Compresses data" data [any-string! binary!] method [word!])~"},
            {"decompress", R"~("Decompresses data" data [binary!] method [word!] /size sz [integer!])~"},
            {"transcode", R"~("Translates UTF-8 binary source to values" src [binary! string!]
                             /next /one /prescan /scan /part length [integer! binary!] /into dst [block!]
                             /trace callback [function! routine!])~"},
            {"checksum", R"~("Computes a checksum, CRC, hash, or HMAC" data [binary! string! file!] method [word!]
                            /with spec [any-string! binary! integer!])~"},
        };
        for (const auto& s : specs) bind_native(s[0], s[1]);
        action("random", "value /seed /secure /only", SLOT_RANDOM);
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
        uint32_t n;
        const uint8_t* p = natives::sys::binary_bytes(&binary, &n);
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
        return natives::sys::make_binary(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
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
