// libFuzzer target for the lexer: any byte sequence must load as values or
// raise a syntax error; never crash, hang or read out of bounds.  Loaded
// values must mold to text that loads again to the same mold.
//
// Built by the QOR_FUZZ option (clang, -fsanitize=fuzzer); run by
// tools/fuzz-lexer.sh.
#include <cstdint>

#include "tests/fuzz/fuzz_support.hpp"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/char.hpp"
#include "datatypes/context.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/file.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/path.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/time.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/url.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/lexer.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "runtime/memory.hpp"
#include "datatypes/root_block.hpp"
#include "runtime/throw.hpp"

namespace {

using namespace qor;

void start_runtime() {
    memory::init();
    datatype::init();
    unset::init();
    none::init();
    logic::init();
    series::init();
    block::init();
    string_actions::init();
    integer::init();
    char_::init();
    float_::init();
    path::init();
    paren::init();
    symbol::init();
    symbol::make_table();
    symbol::make_index();
    context::init();
    word::init();
    issue::init();
    time::init();
    url::init();
    file::init({});
    pair::init();
    percent::init();
    point::init2d();
    point::init3d();
    root_block::make();
    context::make_global();
    lexer::init();
    gc::finish_startup();
}

// Loads the bytes; false when they raised a language error.
bool load(const uint8_t* data, size_t size, const lexer::ScanRequest& mode, Cell* out) {
    lexer::ScanRequest request = mode;
    request.input = data;
    request.size = uint32_t(size);
    try {
        lexer::scan(request, out);
        return true;
    } catch (const Thrown& t) {
        if (t.code != THROW_ERROR) std::abort();
        fuzz::clear_dead_frames();
        cycle_stack::reset();
        return false;
    }
}

// The mold of a value, or empty when a value cannot be molded (a datatype
// this tree does not register yet, nesting past the mold limit).
std::string mold(Cell* value) {
    Cell out = string::make(64);
    gc::CellRoot keep(&out);
    try {
        dispatch::mold(value, &out, true, false, false, nullptr, 1 << 24, 0);
    } catch (const Thrown&) {
        fuzz::clear_dead_frames();
        cycle_stack::reset();
        return std::string();
    }
    return string::to_utf8(&out);
}

// Whether a file! or url! is among the values: the stand-in molds of those
// types write "^" (an escape in their text) and other characters as they
// stand, so such blocks are left out of the round trip.
bool has_file_or_url(const Cell* block) {
    std::vector<Cell> pending{*block};
    while (!pending.empty()) {
        Cell b = pending.back();
        pending.pop_back();
        for (uint32_t i = 0; i < block::length(&b); i++) {
            const Cell* v = block::item(&b, i);
            uint32_t t = type_of(v);
            if (is_any_block(t)) pending.push_back(*v);
            else if (t == TYPE_FILE || t == TYPE_URL) return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A fresh runtime now and then: the symbol table only grows.
    static uint32_t runs = 0;
    if (runs++ % 20000 == 0) start_runtime();
    if (size > (1u << 20)) return 0;
    Cell out{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&out);

    // Recognising tokens only, and one value at a time, must not fail
    // differently from loading.
    lexer::ScanRequest scan;
    scan.scan = true;
    load(data, size, scan, nullptr);
    lexer::ScanRequest prescan;
    prescan.prescan = true;
    prescan.one_value = true;
    load(data, size, prescan, nullptr);

    lexer::ScanRequest all;
    if (!load(data, size, all, &out)) return 0;
    std::string text = has_file_or_url(&out) ? std::string() : mold(&out);
    if (!text.empty()) {
        Cell again{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_again(&again);
        if (!load(reinterpret_cast<const uint8_t*>(text.data()), text.size(), all, &again)) {
            std::fprintf(stderr, "molded text does not load again:\n%s\n", text.c_str());
            std::abort();
        }
        std::string text_again = mold(&again);
        if (text_again != text) {
            std::fprintf(stderr, "reloaded text molds differently:\n%s\n---\n%s\n", text.c_str(), text_again.c_str());
            std::abort();
        }
    }
    return 0;
}
