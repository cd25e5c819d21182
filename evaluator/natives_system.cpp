// The natives that reach outside the evaluator: output (print, prin),
// memory (stats, recycle), time (wait, now), the process environment
// (set-env, get-env, list-env), child processes and the shell (call,
// browse), compression (compress, decompress) and the lexer's front end
// (transcode).  Each checks and converts its arguments and hands the work to
// the service that does it.
#include <cmath>
#include <cstring>
#include <string>

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/file_path.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/time.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_system.hpp"
#include "evaluator/natives_support.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_output.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"
#include "runtime/shell_open.hpp"
#include "runtime/series.hpp"
#include "services/deflate.hpp"
#include "services/files.hpp"
#include "services/process_launch.hpp"
#include "services/os_environment.hpp"

namespace qor::natives {

using support::arg;
using support::check_arg;
using support::typeset_of;
using support::used;

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


}  // namespace

void set_event_pump(EventPump pump) { g_event_pump = pump; }

// ---- Shared helpers ------------------------------------------------------------------------------------------

// ---- Output ------------------------------------------------------------------------------------------------

int32_t print_star(bool, const int32_t*) { return output(true); }
int32_t prin_star(bool, const int32_t*) { return output(false); }

// ---- Memory --------------------------------------------------------------------------------------------------

int32_t stats_star(bool, const int32_t* refinements) {
    if (used(refinements, 0)) {
        // The report is printed by the library's show-memory-stats from
        // the same figures that /info gives.
        Cell name = *word::make_from_c_string("show-memory-stats");
        gc::CellRoot keep_name(&name);
        Cell* value = eval::word_value(&name);
        if (type_of(value) == TYPE_UNSET) raise_error("script", "no-value", &name);
        Cell fn = *value;
        gc::CellRoot keep_fn(&fn);
        Cell figures = block::make(8);
        gc::CellRoot keep_figures(&figures);
        memory::stats(&figures, 2);
        Cell ignored{TYPE_UNSET, 0, 0, 0};
        gc::CellRoot keep_ignored(&ignored);
        interp::call_function_named(&name, &fn, &figures, 1, &ignored);
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
    Cell today = date::now(utc, precise);

    int32_t field = 0;
    if (used(refinements, NOW_YEAR)) field = date::FIELD_YEAR;
    else if (used(refinements, NOW_MONTH)) field = date::FIELD_MONTH;
    else if (used(refinements, NOW_DAY)) field = date::FIELD_DAY;
    else if (used(refinements, NOW_TIME)) field = date::FIELD_TIME;
    else if (used(refinements, NOW_ZONE)) field = date::FIELD_ZONE;
    else if (used(refinements, NOW_DATE)) field = date::FIELD_DATE;
    else if (used(refinements, NOW_WEEKDAY)) field = date::FIELD_WEEKDAY;
    else if (used(refinements, NOW_YEARDAY)) field = date::FIELD_YEARDAY;
    set_result(field ? date::field_value(&today, field) : today);
    return 0;
}

// ---- Environment -------------------------------------------------------------------------------------------------

int32_t set_env_star(bool check, const int32_t*) {
    check_arg(check, 0, support::typeset_union(any_string_types(), support::any_word_types()), 0);
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
    check_arg(check, 0, support::typeset_union(any_string_types(), support::any_word_types()), 0);
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
    Cell environment{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep(&environment);
    os::get_environment(&environment);
    set_result(environment);
    return 0;
}

// ---- Processes and the shell -------------------------------------------------------------------------------------

int32_t call_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, typeset_of({TYPE_STRING, TYPE_FILE}), 0);
    Cell redirect = typeset_of({TYPE_STRING, TYPE_FILE, TYPE_BINARY});
    check_arg(check, refinements[4], redirect, 6);
    check_arg(check, refinements[5], redirect, 8);
    check_arg(check, refinements[6], redirect, 10);
    enum : uint32_t { WAIT, SHOW, CONSOLE, SHELL, INPUT, OUTPUT, ERROR_STREAM };
    if (string::remaining_length(arg(0)) == 0) {
        set_result(integer::make(0));
        return 0;
    }
    if (used(refinements, CONSOLE)) raise_error("internal", "not-done");
    std::string command = type_of(arg(0)) == TYPE_FILE ? files::os_name(arg(0)) : string::to_utf8(arg(0));
    process_launch::Stream streams[3];
    process_launch::Stream* redirected[3] = {nullptr, nullptr, nullptr};
    for (uint32_t k = 0; k < 3; k++) {
        if (!used(refinements, INPUT + k)) continue;
        const Cell* target = arg(uint32_t(refinements[INPUT + k]));
        redirected[k] = &streams[k];
        if (type_of(target) == TYPE_FILE) {
            streams[k].kind = process_launch::Stream::FILE;
            streams[k].file = files::os_name(target);
        } else if (k == 0) {
            streams[k].bytes = binary::bytes_of(target);   // text is sent as UTF-8
        }
    }
    process_launch::Options options;
    options.wait = used(refinements, WAIT);
    options.show = used(refinements, SHOW);
    options.shell = used(refinements, SHELL);
    process_launch::Flags flags;
    int32_t result = process_launch::launch(command, options, redirected[0], redirected[1], redirected[2], &flags);
    // Captured output is appended at the targets' tails; they are argument
    // cells, which never move.
    for (uint32_t k = 1; k < 3; k++) {
        if (!redirected[k] || streams[k].kind != process_launch::Stream::BUFFER || streams[k].bytes.empty()) continue;
        Cell* target = arg(uint32_t(refinements[INPUT + k]));
        const std::string& bytes = streams[k].bytes;
        if (type_of(target) == TYPE_BINARY) {
            uint32_t n = uint32_t(bytes.size());
            uint8_t* at = series_buffer::alloc_tail_bytes(buffer_of(cell_node(target)), n);
            std::memcpy(at, bytes.data(), n);
        } else {
            std::string text = process_launch::captured_text(bytes, flags);
            string::append_utf8(target, text.data(), text.size());
        }
    }
    set_result(integer::make(result));
    return 0;
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
    check_arg(check, 0, support::typeset_union(any_string_types(), typeset_of({TYPE_BINARY})), 0);
    check_arg(check, 1, typeset_of({TYPE_WORD}), 1);
    int32_t method = compression_method(arg(1));
    // A copy: making the result may move the source's buffer.
    std::string input = binary::bytes_of(arg(0));
    deflate::Routine routine = deflate::compressor(method);
    uint32_t length = uint32_t(input.size());
    uint32_t size = memory::checked_add(length, 32);
    for (int attempt = 0;; attempt++) {
        Cell out = binary::make(nullptr, size);
        SeriesBuffer* s = buffer_of(cell_node(&out));
        uint32_t room = size;
        int32_t r = routine(s->head, &room, reinterpret_cast<const uint8_t*>(input.data()), length);
        if (r == deflate::RESULT_OK) {
            s->tail = s->head + room;
            set_result(out);
            return 0;
        }
        if (r != deflate::RESULT_TOO_SMALL || attempt > 0) raise_error("script", "invalid-data", arg(1));
        if (room > memory::MAX_CAPACITY) memory::raise_no_memory();
        size = room;
    }
}

int32_t decompress_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, typeset_of({TYPE_BINARY}), 0);
    check_arg(check, 1, typeset_of({TYPE_WORD}), 1);
    check_arg(check, refinements[0], typeset_of({TYPE_INTEGER}), 3);
    int32_t method = compression_method(arg(1));
    if (used(refinements, 0) && integer::get_value(arg(uint32_t(refinements[0]))) < 0)
        raise_error("script", "invalid-arg", arg(uint32_t(refinements[0])));
    std::string input = binary::bytes_of(arg(0));
    const uint8_t* in = reinterpret_cast<const uint8_t*>(input.data());
    uint32_t length = uint32_t(input.size());
    deflate::Routine routine = deflate::decompressor(method);
    uint32_t size;
    if (used(refinements, 0)) {
        size = uint32_t(integer::get_value(arg(uint32_t(refinements[0]))));
    } else {
        // Measured by a run without room (gzip reads it from its trailer).
        size = 0;
        int32_t r = routine(nullptr, &size, in, length);
        if (r == deflate::RESULT_OK) {
            set_result(binary::make(nullptr, 0));
            return 0;
        }
        if (r != deflate::RESULT_TOO_SMALL) raise_error("script", "invalid-data", arg(1));
    }
    for (int attempt = 0;; attempt++) {
        // A measured size beyond what a series can hold (a decompression
        // bomb) is a memory error, never a wrapped count.
        if (size > memory::MAX_CAPACITY) memory::raise_no_memory();
        Cell out = binary::make(nullptr, size);
        SeriesBuffer* s = buffer_of(cell_node(&out));
        uint32_t room = size;
        int32_t r = routine(s->head, &room, in, length);
        if (r == deflate::RESULT_OK) {
            s->tail = s->head + room;
            set_result(out);
            return 0;
        }
        if (r != deflate::RESULT_TOO_SMALL || attempt > 0) raise_error("script", "invalid-data", arg(1));
        size = room;
    }
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
