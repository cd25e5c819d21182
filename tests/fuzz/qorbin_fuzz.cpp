// libFuzzer target for the Qorbin reader: any bytes must decode to values or
// raise a language error; never crash, hang, read out of bounds or allocate
// what a count merely claims.  What decodes must encode again, in both
// layouts, and decode to values that mold the same.
//
// Built by the QOR_FUZZ option (clang, -fsanitize=fuzzer); run by
// tools/fuzz-qorbin.sh.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fuzz/fuzz_support.hpp"

#include "boot/library.hpp"
#include "boot/start.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/error.hpp"
#include "datatypes/error_catalog.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/fixed_words.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/object.hpp"
#include "datatypes/root_block.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/trace.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/ownership.hpp"
#include "runtime/throw.hpp"
#include "services/qorbin.hpp"


namespace {

using namespace qor;


void start_runtime() {
    static bool booted = false;
    if (booted) {
        boot::runtime_reset();
    }
    boot::runtime_init();
    gc::finish_startup();
    root_block::set_collecting(false);
    boot::boot_library();
    stack::seam_start_call();
    booted = true;
}

// Decodes the bytes into `out`; false when they raised a language error.
bool decode(const uint8_t* data, size_t size, Cell* out) {
    stack::Checkpoint cp = stack::checkpoint();
    try {
        *out = block::make(1);
        qorbin::decode(data, int32_t(size), out, nullptr);
        return true;
    } catch (const Thrown& t) {
        if (t.code != THROW_ERROR) std::abort();
        fuzz::clear_dead_frames();
        stack::restore(cp);
        cycle_stack::reset();
        return false;
    }
}

constexpr int32_t MOLD_LIMIT = 1 << 16;

// The mold of a value, or empty when it cannot be molded.
std::string mold(Cell* value) {
    stack::Checkpoint cp = stack::checkpoint();
    Cell out = string::make(64);
    gc::CellRoot keep(&out);
    try {
        dispatch::mold(value, &out, false, true, true, nullptr, MOLD_LIMIT, 0);
    } catch (const Thrown&) {
        fuzz::clear_dead_frames();
        stack::restore(cp);
        cycle_stack::reset();
        return std::string();
    }
    // References make a small value of a large mold (a block holding one
    // block twice, that block holding another twice...): such values are
    // not compared.
    if (string::length(&out) >= MOLD_LIMIT) return std::string();
    return string::to_utf8(&out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A fresh runtime now and then: the symbol table only grows.
    static uint32_t runs = 0;
    if (runs++ % 5000 == 0) start_runtime();
    if (size > (1u << 20)) return 0;
    Cell first{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&first);
    if (!decode(data, size, &first)) return 0;
    std::string text = mold(&first);
    for (bool compact : {true, false}) {
        stack::Checkpoint cp = stack::checkpoint();
        Cell image{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_image(&image);
        try {
            image = qorbin::encode(&first, compact);
        } catch (const Thrown& t) {
            if (t.code != THROW_ERROR) std::abort();
            fuzz::clear_dead_frames();
            stack::restore(cp);
            cycle_stack::reset();
            continue;   // too deep to write, say
        }
        std::string bytes(reinterpret_cast<const char*>(buffer_of(cell_node(&image))->head),
                          buffer_of(cell_node(&image))->byte_length());
        Cell again{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_again(&again);
        if (!decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &again)) {
            std::fprintf(stderr, "an image the writer made does not decode (compact %d)\n", int(compact));
            std::abort();
        }
        // The writer wrote the block of decoded values as one value.
        if (block::total_length(&again) != 1) {
            std::fprintf(stderr, "an image of one value decodes to %u values\n", block::total_length(&again));
            std::abort();
        }
        Cell value = *block::cell_at(&again, 0);
        gc::CellRoot keep_value(&value);
        std::string text_again = mold(&value);
        if (!text.empty() && text_again != text) {
            std::fprintf(stderr, "decoded values mold differently:\n%s\n---\n%s\n", text.c_str(), text_again.c_str());
            std::abort();
        }
    }
    return 0;
}
