// Decoding of the boot definitions and loading of the embedded sources.
#include "boot/payload.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "boot/embedded.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/native.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_table.hpp"
#include "runtime/collector.hpp"
#include "services/qorbin.hpp"
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

namespace {

// What a definition of the text binds: its word and, for the image, how
// its value is made.
struct Definition {
    Cell word;
    uint32_t type;    // datatype!, action! or native!
    uint32_t index;   // the datatype id, action slot or natives table index
    Cell spec;        // action! and native!: the spec block
};

// The definitions of boot/natives.qor in its order (that of the payload):
// datatypes, actions, natives.  Every cell they hold is kept in `keep`
// (a block kept by the caller).  A malformed definition ends the process.
std::vector<Definition> collect(const Cell* defs, Cell* keep) {
    std::vector<Definition> out;
    Cell types = section(defs, "datatypes");
    block::append_copy(keep, &types);
    uint32_t n = block::remaining_length(&types);
    for (uint32_t i = 0; i < n; i++) {
        Cell w = *block::item(&types, i);
        uint32_t id = type_id(spelling(&w));
        if (type_of(&w) != TYPE_WORD || id == 0) fail("boot/natives.qor: not a datatype", spelling(&w).c_str());
        out.push_back(Definition{w, TYPE_DATATYPE, id, Cell{TYPE_NONE, 0, 0, 0}});
    }
    Cell actions = section(defs, "actions");
    block::append_copy(keep, &actions);
    each_definition(&actions, "actions", [&](const std::string& name, const Cell* word, const Cell* spec) {
        uint32_t slot = action_slot(name);
        if (slot == 0) fail("boot/natives.qor: unknown action", name.c_str());
        out.push_back(Definition{*word, TYPE_ACTION, slot, *spec});
    });
    Cell natives = section(defs, "natives");
    block::append_copy(keep, &natives);
    each_definition(&natives, "natives", [&](const std::string& name, const Cell* word, const Cell* spec) {
        uint32_t index = native_index(name.c_str());
        if (index == 0) fail("boot/natives.qor: unknown native", name.c_str());
        out.push_back(Definition{*word, TYPE_NATIVE, index, *spec});
    });
    return out;
}

// How many datatype, action and native words hold the values the payload
// gives them.
Counts count_bound() {
    Counts counts{0, 0, 0};
    auto value = [](const char* name) -> const Cell* {
        return context::global_value_pointer(symbol::intern(name));
    };
    // datatype! itself is the library's to set.
    for (int t = TYPE_DATATYPE + 1; t <= TYPE_COUNT; t++) {
        const Cell* v = value(TYPE_NAMES[t]);
        if (v && type_of(v) == TYPE_DATATYPE && v->data1 == uint32_t(t)) counts.datatypes++;
    }
    for (int slot = 1; slot <= ACTION_COUNT; slot++) {
        const Cell* v = value(ACTION_NAMES[slot]);
        if (v && type_of(v) == TYPE_ACTION && native::code_of(v) == actions::dispatcher_table()[slot - 1])
            counts.actions++;
    }
    for (uint32_t i = 0; i < natives::NATIVE_COUNT; i++) {
        const Cell* v = value(natives::NATIVE_NAMES[i]);
        if (v && type_of(v) == TYPE_NATIVE && native::code_of(v) == natives::table()[i]) counts.natives++;
    }
    return counts;
}

}  // namespace

std::vector<uint8_t> build_image() {
    gc::NoCollect quiet;
    Cell defs = definitions();
    gc::CellRoot keep_defs(&defs);
    Cell kept = block::make(4);
    gc::CellRoot keep(&kept);
    std::vector<Definition> list = collect(&defs, &kept);
    std::vector<qorbin::BootDefinition> out;
    for (const Definition& d : list)
        out.push_back(qorbin::BootDefinition{word::symbol_of(&d.word), d.type, d.index, &d.spec});
    return qorbin::encode_boot(out.data(), uint32_t(out.size()));
}

Counts decode() {
    const embedded::File* image = embedded::find(IMAGE_NAME);
    if (!image) fail("missing embedded payload", IMAGE_NAME);
    qorbin::decode_boot(image->data, false);
    Counts counts = count_bound();
    if (counts.datatypes != DATATYPE_WORD_COUNT || counts.actions != ACTION_WORD_COUNT ||
        counts.natives != natives::NATIVE_COUNT)
        fail("boot payload: incomplete definitions",
             (std::to_string(counts.datatypes) + " datatypes, " + std::to_string(counts.actions) + " actions, " +
              std::to_string(counts.natives) + " natives")
                 .c_str());
    return counts;
}

}  // namespace qor::payload
