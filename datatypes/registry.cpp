// The datatype registry: registration with slot inheritance, and the tables
// the evaluator reads.
//
// The tables are static storage rather than tracked-heap blocks: they live
// for the whole process either way, and static storage needs no start-up step
// before the first registration.
#include "datatypes/registry.hpp"

#include <cstring>
#include <string_view>

#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"

namespace qor {

static_assert(std::string_view(TYPE_NAMES[TYPE_SERIES]) == "series!");
static_assert(std::string_view(TYPE_NAMES[TYPE_EVENT]) == "event!");
static_assert(std::string_view(ACTION_NAMES[SLOT_AND_T]) == "and~");
static_assert(std::string_view(ACTION_NAMES[SLOT_WRITE]) == "write");

namespace {

RegistryTables g_tables;
registry::WordFactory g_word_factory = nullptr;

const TypeNameEntry k_unregistered = {"", 0, nullptr};

// A broken registration is a programming error found while the runtime
// starts: report it through the low-level printer and stop.
[[noreturn]] void fail_registration(const char* what, uint32_t id) {
    const system_print::TypedRecord line[] = {
        system_print::string("*** Datatype Error: "), system_print::string(what),
        system_print::integer(int32_t(id))};
    system_print::print_line(3, line);
    platform::exit_process(1);
}

}  // namespace

TypeSpec make_type_spec(uint32_t id) {
    TypeSpec spec{};
    spec.id = id;
    if (id >= 1 && id <= uint32_t(TYPE_COUNT)) {
        spec.parent = TYPE_PARENTS[id];
        spec.name = TYPE_NAMES[id];
    }
    return spec;
}

void install_datatype(uint32_t word_count, const TypeSpec* spec) {
    // An id beyond the table or a name without its "!" would write outside
    // the tables or give a length that wraps; refuse them like a bad count.
    size_t name_size = spec->name ? std::strlen(spec->name) : 0;
    if (spec->id == 0 || spec->id > uint32_t(TYPE_ID_MAX) || spec->parent > uint32_t(TYPE_ID_MAX))
        fail_registration("invalid type id: ", spec->id);
    if (name_size == 0 || spec->name[name_size - 1] != '!')
        fail_registration("invalid name for type: ", spec->id);

    // 1. The highest registered id.
    if (spec->id > g_tables.highest) g_tables.highest = spec->id;

    // 2. The type-name entry.
    TypeNameEntry& entry = g_tables.names[spec->id];
    entry.name = spec->name;
    entry.length = uint32_t(name_size - 1);
    entry.word = g_word_factory ? g_word_factory(spec->name) : nullptr;

    // 3. The slot count.
    uint32_t slots = word_count < 3 ? 0 : word_count - 3;
    if (word_count < 3 || slots != uint32_t(ACTION_COUNT)) {
        const system_print::TypedRecord report[] = {
            system_print::string("*** Datatype Error: invalid actions count for type: "),
            system_print::integer(int32_t(spec->id)),
            system_print::string("\n*** Found: "),
            system_print::integer(int32_t(slots)),
            system_print::string("\n*** Expected: "),
            system_print::integer(ACTION_COUNT)};
        system_print::print_line(6, report);
        platform::exit_process(1);
    }

    // 4. The slots; an inherited one copies the parent's entry as it is now.
    ActionEntry* row = g_tables.actions[spec->id];
    const ActionEntry* parent_row = g_tables.actions[spec->parent];
    for (int i = 0; i < ACTION_COUNT; ++i) {
        ActionEntry slot = spec->slots[i];
        if (slot == ACTION_INHERIT)
            row[i] = spec->parent != 0 ? parent_row[i] : ACTION_NONE;
        else
            row[i] = slot;
    }
}

namespace registry {

RegistryTables& tables() { return g_tables; }

const TypeNameEntry& type_name(uint32_t id) {
    if (id >= uint32_t(TYPE_TABLE_SIZE) || g_tables.names[id].name == nullptr) return k_unregistered;
    return g_tables.names[id];
}

ActionEntry entry(uint32_t type, int slot) {
    if (type >= uint32_t(TYPE_TABLE_SIZE) || slot < 1 || slot > ACTION_COUNT) return ACTION_NONE;
    return g_tables.actions[type][slot - 1];
}

void set_word_factory(WordFactory factory) { g_word_factory = factory; }

void set_type_word(uint32_t id, Cell* word) {
    if (id >= 1 && id < uint32_t(TYPE_TABLE_SIZE)) g_tables.names[id].word = word;
}

}  // namespace registry
}  // namespace qor
