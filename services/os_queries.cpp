// The portable side of the OS queries: Windows version names, and the values
// built from what the platform side reports.
#include "services/os_queries.hpp"

#include "datatypes/block.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/command_line.hpp"

namespace qor::os {

namespace {

// The version name by major.minor; majors 5 and 6 with a minor not named
// here read "NT major.minor".
std::string version_name(const WindowsVersion& v) {
    if (v.major == 5) {
        if (v.minor == 0) return "2000";
        if (v.minor == 1) return "XP";
        if (v.minor == 2) return v.server ? "Server 2003 R2" : "Server 2003";
    } else if (v.major == 6) {
        if (v.minor == 0) return v.server ? "Server 2008" : "Vista";
        if (v.minor == 1) return v.server ? "Server 2008 R1" : "7";
        if (v.minor == 2) return v.server ? "Server 2012" : "8";
        if (v.minor == 3) return v.server ? "Server 2012 R2" : "8.1";
    } else {
        if (!v.server) return v.build < 22000 ? "10" : "11";
        if (v.build >= 20285) return "Server 2022";
        return v.build < 17134 ? "Server 2016" : "Server 2019";
    }
    return "NT " + std::to_string(v.major) + "." + std::to_string(v.minor);
}

}  // namespace

std::string windows_name(const WindowsVersion& v) {
    std::string name = "Windows " + version_name(v);
    if (!v.service_pack.empty()) name += " " + v.service_pack;
    return name;
}

const char* windows_arch(uint32_t processor_architecture) {
    switch (processor_architecture) {
        case 0: return "x86-32";
        case 5: return "ARM";
        case 6: return "IA-64";
        case 9: return "x86-64";
        case 12: return "ARM64";
        default: return "Unknown";
    }
}

Cell command_line() {
    std::string raw = command_line::raw_text();
    return string::from_utf8(raw.data(), raw.size());
}

Cell* push_info_record() {
    OsFacts facts = query();
    // The record is made as `construct/only` makes it from a spec block of
    // set-words and values, so no value is evaluated.
    Cell spec = block::make(8);
    gc::CellRoot keep_spec(&spec);
    word::make_kind_in_block(&spec, "name", TYPE_SET_WORD);
    Cell name = string::from_utf8(facts.name.data(), facts.name.size());
    gc::CellRoot keep_name(&name);
    block::append_copy(&spec, &name);
    word::make_kind_in_block(&spec, "arch", TYPE_SET_WORD);
    Cell arch = *word::make_from_c_string(facts.arch.c_str());
    block::append_copy(&spec, &arch);
    word::make_kind_in_block(&spec, "version", TYPE_SET_WORD);
    Cell version = tuple::make(3, facts.version);
    block::append_copy(&spec, &version);
    word::make_kind_in_block(&spec, "build", TYPE_SET_WORD);
    Cell build{TYPE_INTEGER, 0, uint32_t(facts.build), 0};
    block::append_copy(&spec, &build);
    return object::make_from_spec(&spec, nullptr, true);
}

void assert_datatype(const Cell* value, uint32_t type) {
    if (type_of(value) == type) return;
    Cell bad = *value;
    gc::CellRoot keep(&bad);
    raise_error("script", "invalid-arg", &bad);
}

}  // namespace qor::os
