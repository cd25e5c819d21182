// Decoding of the boot definitions and loading of the embedded sources.
#include "boot/payload.hpp"

#include <cstring>
#include <string>

#include "boot/embedded.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/native.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives.hpp"
#include "runtime/collector.hpp"
#include "runtime/platform.hpp"
#include "datatypes/root_block.hpp"
#include "runtime/runtime_error.hpp"

namespace qor::payload {

uint32_t native_index(const char* name) {
    for (uint32_t i = 0; i < natives::NATIVE_COUNT; i++)
        if (std::strcmp(natives::NATIVE_NAMES[i], name) == 0) return i + 1;
    return 0;
}

void fail(const char* what, const char* detail) {
    std::string text = "*** Boot Error: ";
    text += what;
    if (detail) {
        text += ": ";
        text += detail;
    }
    text += "\r\n";
    platform::write_std(platform::STD_ERR, text.data(), text.size());
    runtime::error(runtime::ERR_ASSERTION, 0);
}

Cell load_bytes(const unsigned char* data, uint32_t size) {
    lexer::ScanRequest request;
    request.input = data;
    request.size = size;
    Cell out{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&out);
    lexer::scan(request, &out);
    return out;
}

Cell load_text(const char* text) {
    return load_bytes(reinterpret_cast<const unsigned char*>(text), uint32_t(std::strlen(text)));
}

namespace {

std::string spelling(const Cell* word) {
    int32_t sym = word::symbol_of(word);
    return std::string(reinterpret_cast<const char*>(symbol::spelling(sym)), symbol::spelling_length(sym));
}

bool is_word_named(const Cell* c, const char* name) {
    return c && type_of(c) == TYPE_WORD && spelling(c) == name;
}

// The block after the word `name` at the top level of the definitions.
Cell section(const Cell* defs, const char* name) {
    uint32_t n = block::remaining_length(defs);
    for (uint32_t i = 0; i + 1 < n; i++) {
        if (!is_word_named(block::item(defs, i), name)) continue;
        Cell b = *block::item(defs, i + 1);
        if (type_of(&b) != TYPE_BLOCK) fail("boot/natives.qor: no block after", name);
        return b;
    }
    fail("boot/natives.qor: missing section", name);
}

uint32_t action_slot(const std::string& name) {
    for (int s = 1; s <= ACTION_COUNT; s++)
        if (name == ACTION_NAMES[s]) return uint32_t(s);
    return 0;
}

uint32_t type_id(const std::string& name) {
    for (int t = 1; t <= TYPE_COUNT; t++)
        if (name == TYPE_NAMES[t]) return uint32_t(t);
    return 0;
}

// Walks a section of `name: [spec]` pairs; `bind` makes and binds one value.
template <class F>
uint32_t each_definition(const Cell* list, const char* what, F bind) {
    uint32_t n = block::remaining_length(list), count = 0;
    for (uint32_t i = 0; i < n; i += 2) {
        Cell name = *block::item(list, i);
        Cell* spec = block::item(list, i + 1);
        if (type_of(&name) != TYPE_SET_WORD || !spec || type_of(spec) != TYPE_BLOCK)
            fail("boot/natives.qor: malformed definition in", what);
        Cell spec_copy = *spec;
        gc::CellRoot keep_name(&name), keep_spec(&spec_copy);
        bind(spelling(&name), &name, &spec_copy);
        count++;
    }
    return count;
}

void bind_word(const Cell* set_word, const Cell* value) {
    context::set_global_value(word::symbol_of(set_word), value);
}

}  // namespace

Cell load_embedded(const char* name) {
    const embedded::File* f = embedded::find(name);
    if (!f) fail("missing embedded source", name);
    Cell code = load_bytes(f->data, f->size);
    gc::CellRoot keep(&code);
    // The header, when there is one, is documentation only.
    const Cell* first = block::item(&code, 0);
    const Cell* second = block::item(&code, 1);
    if (is_word_named(first, "Qor") && second && type_of(second) == TYPE_BLOCK) code.data1 += 2;
    root_block::append(&code);
    return code;
}

Cell definitions() { return load_embedded("boot/natives.qor"); }

uint32_t bind_natives(const Cell* defs) {
    Cell natives = section(defs, "natives");
    gc::CellRoot keep_natives(&natives);
    return each_definition(&natives, "natives", [](const std::string& name, const Cell* word, const Cell* spec) {
        uint32_t index = native_index(name.c_str());
        if (index == 0) fail("boot/natives.qor: unknown native", name.c_str());
        Cell v{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep(&v);
        native::init_native(&v, spec, index);
        bind_word(word, &v);
    });
}

Counts decode() {
    gc::NoCollect quiet;
    Counts counts{0, 0, 0};
    Cell defs = definitions();
    gc::CellRoot keep_defs(&defs);

    Cell types = section(&defs, "datatypes");
    gc::CellRoot keep_types(&types);
    uint32_t n = block::remaining_length(&types);
    for (uint32_t i = 0; i < n; i++) {
        Cell w = *block::item(&types, i);
        uint32_t id = type_id(spelling(&w));
        if (type_of(&w) != TYPE_WORD || id == 0) fail("boot/natives.qor: not a datatype", spelling(&w).c_str());
        Cell dt{TYPE_DATATYPE, id, 0, 0};
        bind_word(&w, &dt);
        counts.datatypes++;
    }

    Cell actions = section(&defs, "actions");
    gc::CellRoot keep_actions(&actions);
    counts.actions = each_definition(&actions, "actions", [](const std::string& name, const Cell* word, const Cell* spec) {
        uint32_t slot = action_slot(name);
        if (slot == 0) fail("boot/natives.qor: unknown action", name.c_str());
        Cell v{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep(&v);
        native::init_action(&v, spec, slot);
        bind_word(word, &v);
    });

    counts.natives = bind_natives(&defs);

    if (counts.datatypes != DATATYPE_WORD_COUNT || counts.actions != ACTION_WORD_COUNT ||
        counts.natives != natives::NATIVE_COUNT)
        fail("boot/natives.qor: incomplete definitions");
    return counts;
}

}  // namespace qor::payload
