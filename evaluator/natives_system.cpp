// The natives that reach outside the evaluator: output (print, prin),
// memory (stats, recycle), time (wait, now), the process environment
// (set-env, get-env, list-env), child processes and the shell (call,
// browse), compression (compress, decompress) and the lexer's front end
// (transcode).  Each checks and converts its arguments and hands the work to
// the service that does it.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/file_path.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/time.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_system.hpp"
#include "evaluator/natives_values.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_output.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"
#include "runtime/shell_open.hpp"

namespace qor::natives {

using values::arg;
using values::check_arg;
using values::typeset_of;
using values::used;

namespace {

EventPump g_event_pump = nullptr;

void set_result(const Cell& value) { stack::set_last_keep(value); }
void set_unset() { set_result(Cell{TYPE_UNSET, 0, 0, 0}); }
void set_none() { set_result(Cell{TYPE_NONE, 0, 0, 0}); }

Cell any_string_types() {
    return typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF});
}

// ---- Output ------------------------------------------------------------------------------------------

// Set while a print reduces into the shared scratch block: a print reached
// from inside that reduction uses a block of its own, so that it never
// clears the values of the print around it.
bool g_scratch_busy = false;

// Evaluates every expression of the block into `into` (appended).
void reduce_into(const Cell* code_block, Cell* into) {
    Cell code = *code_block;
    gc::CellRoot keep(&code);
    uint32_t pos = code.data1;
    for (;;) {
        uint32_t end = block::total_length(&code);
        if (pos >= end) break;
        pos = interp::eval_next(&code, pos, end, true);
        block::append_copy(into, stack::top_value());
        stack::pop(1);
    }
}

// Empties the scratch block on every way out, and frees it for the next
// print.
struct ScratchUse {
    Cell* scratch;
    bool  shared;
    ~ScratchUse() {
        if (!scratch) return;
        Cell* cell = shared ? natives::print_block() : scratch;
        if (cell) {
            Cell head = *cell;
            head.data1 = 0;
            block::clear_at_index(&head);
        }
        if (shared) g_scratch_busy = false;
    }
};

void write_console(const Cell* text, bool new_line) {
    Cell t = *text;
    uint32_t n = string::remaining_length(&t);
    SeriesBuffer* s = string::buffer(&t);
    uint32_t unit = s->unit();
    console::write(s->head + size_t(t.data1) * unit, size_t(n) * unit, int(unit), new_line);
}

int32_t output(bool new_line) {
    Cell value = *arg(0);
    gc::CellRoot keep_value(&value);
    Cell own_block{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_own(&own_block);
    ScratchUse use{nullptr, false};
    if (type_of(&value) == TYPE_BLOCK) {
        Cell* scratch = g_scratch_busy ? nullptr : natives::print_block();
        if (scratch) {
            g_scratch_busy = true;
            use.shared = true;
        } else {
            own_block = block::make(32);
            scratch = &own_block;
        }
        use.scratch = scratch;
        reduce_into(&value, scratch);
        value = *(use.shared ? natives::print_block() : &own_block);
    }
    Cell text = value;
    gc::CellRoot keep_text(&text);
    if (type_of(&value) != TYPE_STRING) {
        text = string::make(16);
        dispatch::form(&value, &text, nullptr, INT32_MAX);
    }
    if (output_hooks::value_list().count > 0) output_hooks::fire_value(&text, new_line);
    else write_console(&text, new_line);
    set_unset();
    return 0;
}

// ---- Time -----------------------------------------------------------------------------------------------

// Days from 1970-01-01 to the date (proleptic Gregorian).
int64_t days_from_civil(int32_t y, uint32_t m, uint32_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool leap_year(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t year_day(int32_t y, uint32_t m, uint32_t d) {
    static const int32_t before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return before[(m - 1) % 12] + int32_t(d) + (m > 2 && leap_year(y) ? 1 : 0);
}

// The zone of a packed date as seconds east of UTC.
int32_t zone_seconds(uint32_t zone) {
    int32_t s = int32_t((zone >> 2) & 15u) * 3600 + int32_t(zone & 3u) * 900;
    return (zone & 0x40u) ? -s : s;
}

enum NowRefinement : uint32_t {
    NOW_YEAR, NOW_MONTH, NOW_DAY, NOW_TIME, NOW_ZONE, NOW_DATE, NOW_WEEKDAY, NOW_YEARDAY, NOW_PRECISE, NOW_UTC,
};

// ---- Methods of compress and decompress -----------------------------------------------------------------

// 0 zlib, 1 deflate, 2 gzip; another word raises script/invalid-arg with it.
int32_t compression_method(const Cell* method) {
    static const char* const names[] = {"zlib", "deflate", "gzip"};
    int32_t id = symbol::resolve_alias(word::symbol_of(method));
    for (int32_t i = 0; i < 3; i++)
        if (symbol::resolve_alias(symbol::intern(names[i])) == id) return i;
    raise_error("script", "invalid-arg", method);
}

// The name of an environment variable: a text's characters or a word's
// spelling, as UTF-16.
std::u16string variable_name(const Cell* var) {
    if (is_any_word(type_of(var))) {
        int32_t id = word::symbol_of(var);
        const char* spelling = reinterpret_cast<const char*>(symbol::spelling(id));
        return raw_utf::utf8_to_utf16(std::string_view(spelling, symbol::spelling_length(id)));
    }
    return raw_utf::utf8_to_utf16(string::to_utf8(var));
}

std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

}  // namespace

void set_event_pump(EventPump pump) { g_event_pump = pump; }

// ---- Shared helpers ------------------------------------------------------------------------------------------

namespace sys {

Cell make_binary(const uint8_t* bytes, uint32_t length) {
    Node node = memory::alloc_bytes(length ? length : 1);
    SeriesBuffer* s = buffer_of(node);
    if (bytes && length) std::memcpy(s->head, bytes, length);
    s->tail = s->head + (bytes ? length : 0);
    Cell c{TYPE_BINARY, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

const uint8_t* binary_bytes(const Cell* binary, uint32_t* length) {
    SeriesBuffer* s = buffer_of(cell_node(binary));
    uint32_t total = s->byte_length();
    uint32_t index = binary->data1 < total ? binary->data1 : total;
    *length = total - index;
    return s->head + index;
}

std::string bytes_of(const Cell* value) {
    if (type_of(value) == TYPE_BINARY) {
        uint32_t n;
        const uint8_t* p = binary_bytes(value, &n);
        return std::string(reinterpret_cast<const char*>(p), n);
    }
    return string::to_utf8(value);
}

std::string os_file_name(const Cell* file) {
#ifdef _WIN32
    Cell local = string::make(string::length(file) + 8);
    gc::CellRoot keep(&local);
    file::to_local_path(file, &local, false);
    return string::to_utf8(&local);
#else
    return string::to_utf8(file);
#endif
}

int64_t file_size(const Cell* file) {
    std::filesystem::path path = fs_path(os_file_name(file));
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return -1;
    std::ifstream in(path, std::ios::binary);
    if (!in) return -1;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    return size < 0 ? -1 : int64_t(size);
}

bool read_file(const Cell* file, std::string& out) {
    std::filesystem::path path = fs_path(os_file_name(file));
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0, std::ios::beg);
    out.resize(size_t(size));
    in.read(out.data(), size);
    return in.gcount() == size;
}

}  // namespace sys

// ---- Output ------------------------------------------------------------------------------------------------

int32_t print_star(bool, const int32_t*) { return output(true); }
int32_t prin_star(bool, const int32_t*) { return output(false); }

// ---- Memory --------------------------------------------------------------------------------------------------

int32_t stats_star(bool, const int32_t* refinements) {
    if (used(refinements, 0)) {
        // The report is printed by the library's show-memory-stats.
        Cell name = *word::make_from_c_string("show-memory-stats");
        gc::CellRoot keep_name(&name);
        Cell fn = *compiled::get_word_value_checked(&name);
        gc::CellRoot keep_fn(&fn);
        Cell ignored{TYPE_UNSET, 0, 0, 0};
        gc::CellRoot keep_ignored(&ignored);
        interp::call_function_named(&name, &fn, nullptr, 0, &ignored);
    }
    if (used(refinements, 1)) {
        Cell info = block::make(8);
        gc::CellRoot keep(&info);
        memory::stats(&info, 2);
        set_result(info);
        return 0;
    }
    double in_use = memory::stats(nullptr, 1);
    set_result(integer::make(in_use > 2147483647.0 ? INT32_MAX : int32_t(in_use)));
    return 0;
}

int32_t recycle_star(bool, const int32_t* refinements) {
    if (used(refinements, 0) || used(refinements, 1)) {
        gc::collection_enabled = used(refinements, 0);
        set_unset();
        return 0;
    }
    gc::collect();
    double in_use = memory::stats(nullptr, 1);
    set_result(integer::make(in_use > 2147483647.0 ? INT32_MAX : int32_t(in_use)));
    return 0;
}

// ---- Time ------------------------------------------------------------------------------------------------------

int32_t wait_star(bool check, const int32_t*) {
    check_arg(check, 0,
              typeset_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT, TYPE_TIME, TYPE_BLOCK, TYPE_NONE}), 0);
    Cell* value = arg(0);
    double seconds;
    switch (type_of(value)) {
    case TYPE_INTEGER: seconds = double(integer::get_value(value)); break;
    case TYPE_FLOAT:
    case TYPE_TIME: seconds = cell_float(value); break;
    default: raise_error("script", "invalid-arg", value);
    }
    set_none();
    if (!(seconds > 0)) seconds = 0;   // negative or NaN: no sleep
    platform::sleep(seconds);
    if (g_event_pump) g_event_pump();
    return 0;
}

int32_t now_star(bool, const int32_t* refinements) {
    uint32_t components = 0;
    for (uint32_t r = NOW_YEAR; r <= NOW_PRECISE; r++)
        if (used(refinements, r)) components++;
    bool time_precise = used(refinements, NOW_TIME) && used(refinements, NOW_PRECISE);
    if (components > 1 && !(components == 2 && time_precise)) raise_error("script", "bad-refines");

    bool utc = used(refinements, NOW_UTC);
    bool precise = used(refinements, NOW_PRECISE);
    uint32_t packed = platform::date_today(utc);
    int32_t year = int32_t(packed >> 17);
    uint32_t month = (packed >> 12) & 15u;
    uint32_t day = (packed >> 7) & 31u;
    int32_t zone = utc ? 0 : zone_seconds(packed & 0x7Fu);
    double seconds = platform::time_of_day(precise) + zone;
    if (seconds < 0) seconds += 86400;
    if (seconds >= 86400) seconds -= 86400;

    if (used(refinements, NOW_YEAR)) set_result(integer::make(year));
    else if (used(refinements, NOW_MONTH)) set_result(integer::make(int32_t(month)));
    else if (used(refinements, NOW_DAY)) set_result(integer::make(int32_t(day)));
    else if (used(refinements, NOW_TIME)) set_result(time::make(seconds));
    else if (used(refinements, NOW_ZONE)) set_result(time::make(double(zone)));
    else if (used(refinements, NOW_WEEKDAY)) {
        // 1970-01-01 was a Thursday (4, counting Monday as 1).
        int64_t days = days_from_civil(year, month, day);
        set_result(integer::make(int32_t(((days % 7) + 7 + 3) % 7) + 1));
    } else if (used(refinements, NOW_YEARDAY)) {
        set_result(integer::make(year_day(year, month, day)));
    } else {
        // /date and the whole date answer a date!, which the system does not
        // have yet.
        raise_error("internal", "not-done");
    }
    return 0;
}

// ---- Environment -------------------------------------------------------------------------------------------------

int32_t set_env_star(bool check, const int32_t*) {
    check_arg(check, 0, values::typeset_union(any_string_types(), values::any_word_types()), 0);
    check_arg(check, 1, typeset_of({TYPE_STRING, TYPE_NONE}), 1);
    std::u16string name = variable_name(arg(0));
    Cell value = *arg(1);
    if (type_of(&value) == TYPE_NONE) {
        platform::set_env(name.c_str(), nullptr);
    } else {
        std::u16string text = raw_utf::utf8_to_utf16(string::to_utf8(&value));
        platform::set_env(name.c_str(), text.c_str());
    }
    set_result(value);
    return 0;
}

int32_t get_env_star(bool check, const int32_t*) {
    check_arg(check, 0, values::typeset_union(any_string_types(), values::any_word_types()), 0);
    std::u16string name = variable_name(arg(0));
    int32_t size = platform::get_env(name.c_str(), nullptr, 0);
    // The value may change between the two calls; ask again until it fits.
    while (size > 0) {
        auto* buffer = static_cast<char16_t*>(heap::alloc(size_t(size) * sizeof(char16_t)));
        int32_t length = platform::get_env(name.c_str(), buffer, size);
        if (length < size) {
            Cell out{TYPE_UNSET, 0, 0, 0};
            gc::CellRoot keep(&out);
            try {
                string::load_encoded(buffer, uint32_t(length), &out, -1);
            } catch (...) {
                heap::free(buffer);
                throw;
            }
            heap::free(buffer);
            set_result(out);
            return 0;
        }
        heap::free(buffer);
        size = length;
    }
    set_none();
    return 0;
}

int32_t list_env_star(bool, const int32_t*) {
    // The answer is a map!, which the system does not have yet.
    raise_error("internal", "not-done");
}

// ---- Processes and the shell -------------------------------------------------------------------------------------

int32_t call_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, typeset_of({TYPE_STRING, TYPE_FILE}), 0);
    Cell redirect = typeset_of({TYPE_STRING, TYPE_FILE, TYPE_BINARY});
    check_arg(check, refinements[4], redirect, 6);
    check_arg(check, refinements[5], redirect, 8);
    check_arg(check, refinements[6], redirect, 10);
    if (string::remaining_length(arg(0)) == 0) {
        set_result(integer::make(0));
        return 0;
    }
    // Running the command is the process service's, which is not in the
    // system yet.
    raise_error("internal", "not-done");
}

int32_t browse_star(bool check, const int32_t*) {
    check_arg(check, 0, typeset_of({TYPE_URL, TYPE_FILE}), 0);
    Cell target = *arg(0);
    gc::CellRoot keep(&target);
    std::string name;
    if (type_of(&target) == TYPE_FILE) {
        Cell local = string::make(string::length(&target) + 8);
        gc::CellRoot keep_local(&local);
        file::to_local_path(&target, &local, false);
        name = string::to_utf8(&local);
    } else {
        name = string::to_utf8(&target);
    }
    platform::shell_open(raw_utf::utf8_to_utf16(name).c_str());   // failures are not reported
    set_unset();
    return 0;
}

// ---- Compression --------------------------------------------------------------------------------------------------

int32_t compress_star(bool check, const int32_t*) {
    check_arg(check, 0, values::typeset_union(any_string_types(), typeset_of({TYPE_BINARY})), 0);
    check_arg(check, 1, typeset_of({TYPE_WORD}), 1);
    compression_method(arg(1));
    // The DEFLATE coder is a service the system does not have yet.
    raise_error("internal", "not-done");
}

int32_t decompress_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, typeset_of({TYPE_BINARY}), 0);
    check_arg(check, 1, typeset_of({TYPE_WORD}), 1);
    check_arg(check, refinements[0], typeset_of({TYPE_INTEGER}), 3);
    compression_method(arg(1));
    if (used(refinements, 0) && integer::get_value(arg(uint32_t(refinements[0]))) < 0)
        raise_error("script", "invalid-arg", arg(uint32_t(refinements[0])));
    raise_error("internal", "not-done");
}

// ---- The lexer ----------------------------------------------------------------------------------------------------

int32_t transcode_star(bool check, const int32_t* refinements) {
    enum : uint32_t { NEXT, ONE, PRESCAN, SCAN, PART, INTO, TRACE };
    check_arg(check, 0, typeset_of({TYPE_BINARY, TYPE_STRING}), 0);
    check_arg(check, refinements[PART], typeset_of({TYPE_INTEGER, TYPE_BINARY}), 6);
    check_arg(check, refinements[INTO], typeset_of({TYPE_BLOCK}), 8);
    check_arg(check, refinements[TRACE], typeset_of({TYPE_FUNCTION, TYPE_ROUTINE}), 10);
    Cell source = *arg(0);
    gc::CellRoot keep_source(&source);
    lexer::TranscodeOptions options;
    options.next = used(refinements, NEXT);
    options.one = used(refinements, ONE);
    options.prescan = used(refinements, PRESCAN);
    options.scan = used(refinements, SCAN);
    // The refinement cells lie on the argument stack, which the collector
    // marks and which never moves.
    if (used(refinements, PART)) options.part = arg(uint32_t(refinements[PART]));
    if (used(refinements, INTO)) options.into = arg(uint32_t(refinements[INTO]));
    if (used(refinements, TRACE)) options.trace = arg(uint32_t(refinements[TRACE]));
    Cell result{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    lexer::transcode(&source, options, &result);
    set_result(result);
    return 0;
}

}  // namespace qor::natives
