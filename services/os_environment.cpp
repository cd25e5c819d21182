// The environment as a map! (see os_environment.hpp).
#include "services/os_environment.hpp"

#include "datatypes/block.hpp"
#include "datatypes/map.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"

namespace qor::os {

EnvironmentEntry split_entry(std::u16string_view entry) {
    size_t at = entry.empty() ? std::u16string_view::npos : entry.find(u'=', 1);
    if (at == std::u16string_view::npos) return {entry, std::u16string_view()};
    return {entry.substr(0, at), entry.substr(at + 1)};
}

void environment_map(const std::vector<std::u16string>& entries, Cell* out) {
    Cell pairs = block::make(100);
    gc::CellRoot keep(&pairs);
    for (const std::u16string& entry : entries) {
        if (entry.empty()) continue;
        EnvironmentEntry e = split_entry(entry);
        Cell text{TYPE_UNSET, 0, 0, 0};
        gc::CellRoot keep_text(&text);
        string::load_encoded(e.name.data(), uint32_t(e.name.size()), &text, -1);
        block::append_copy(&pairs, &text);
        string::load_encoded(e.value.data(), uint32_t(e.value.size()), &text, -1);
        block::append_copy(&pairs, &text);
    }
    map::init_cell(out, &pairs, int32_t(block::total_length(&pairs)));
}

void get_environment(Cell* out) {
    std::vector<std::u16string> entries;
    if (!environment_entries(entries)) entries.clear();
    environment_map(entries, out);
}

}  // namespace qor::os
