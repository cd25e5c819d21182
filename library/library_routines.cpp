// The routines bound to global words and to system/state/GC: process exit,
// quiet setting, bit shifts, the current directory and files, stack views
// for the debugging tools, standard output, and the collector's switches.
#include <cstring>
#include <string>

#include "console/console_io.hpp"
#include "services/files.hpp"
#include "library/routines.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "datatypes/binary.hpp"
#include "evaluator/natives_system.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/trace.hpp"
#include "runtime/collector.hpp"
#include "runtime/platform.hpp"
#include "services/clipboard.hpp"
#include "datatypes/image.hpp"
#include "services/os_queries.hpp"

namespace qor::routines {

namespace {

Cell* answer(const Cell& value) {
    *result_cell() = value;
    return result_cell();
}
Cell* answer_logic(bool b) { return answer(Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}); }
Cell* answer_integer(int32_t n) { return answer(Cell{TYPE_INTEGER, 0, uint32_t(n), 0}); }
Cell* answer_none() { return answer(Cell{TYPE_NONE, 0, 0, 0}); }

int32_t integer_of(const Cell* c) { return int32_t(c->data2); }

// script/expect-arg naming the routine, the value's datatype and the argument.
[[noreturn]] void expect_arg(const char* routine, const Cell* value, const char* argument) {
    Cell name = *word::make_from_c_string(routine);
    gc::CellRoot keep_name(&name);
    Cell arg = *word::make_from_c_string(argument);
    gc::CellRoot keep_arg(&arg);
    Cell type{TYPE_DATATYPE, type_of(value), 0, 0};
    raise_error("script", "expect-arg", &name, &type, &arg);
}

// ---- Process --------------------------------------------------------------------------------

Cell* quit_return(Cell* const* args) { platform::exit_process(integer_of(args[0])); }

// ---- Quiet setting -----------------------------------------------------------------------------

Cell* set_quiet(Cell* const* args) {
    Cell word = *args[0], value = *args[1];
    gc::CellRoot keep_word(&word), keep_value(&value);
    if (!is_word_kind(type_of(&word)) || type_of(&word) == TYPE_ISSUE) expect_arg("set-quiet", &word, "word");
    context::set_value(&word, &value, word::context_of(&word), false);
    return answer(value);
}

bool quiet_slot_type(uint32_t t) {
    return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_PATH || t == TYPE_LIT_PATH || t == TYPE_SET_PATH ||
           t == TYPE_GET_PATH;
}

Cell* set_slot_quiet(Cell* const* args) {
    Cell series = *args[0], value = *args[1];
    if (!quiet_slot_type(type_of(&series))) expect_arg("set-slot-quiet", &series, "series");
    if (Cell* slot = block::item(&series, 0)) *slot = value;
    return nullptr;
}

// ---- Shifts --------------------------------------------------------------------------------------
// Typed: the operators << >> >>> wrap them.

RoutineReturn integer_return(int32_t n) { return RoutineReturn{n, 0.0}; }

RoutineReturn shift_right(const RoutineArg* args) {
    int32_t data = args[0].integer, bits = args[1].integer;
    if (bits < 0) bits = 0;
    return integer_return(bits > 31 ? (data < 0 ? -1 : 0) : data >> bits);
}

RoutineReturn shift_left(const RoutineArg* args) {
    int32_t data = args[0].integer, bits = args[1].integer;
    if (bits < 0) bits = 0;
    return integer_return(bits > 31 ? 0 : int32_t(uint32_t(data) << bits));
}

RoutineReturn shift_logical(const RoutineArg* args) {
    int32_t data = args[0].integer, bits = args[1].integer;
    if (bits < 0) bits = 0;
    return integer_return(bits > 31 ? 0 : int32_t(uint32_t(data) >> bits));
}

// ---- Output ----------------------------------------------------------------------------------------

Cell* last_lf_q(Cell* const*) { return answer_logic(console_io::last_output_ended_line()); }

Cell* write_stdout(Cell* const* args) {
    Cell data = *args[0];
    gc::CellRoot keep(&data);
    std::string bytes;
    uint32_t t = type_of(&data);
    if (t == TYPE_BINARY || t == TYPE_STRING) {
        bytes = binary::bytes_of(&data);
    } else {
        Cell text = string::make(16);
        gc::CellRoot keep_text(&text);
        dispatch::form(&data, &text, nullptr, INT32_MAX);
        bytes = string::to_utf8(&text);
    }
    platform::write_std(platform::STD_OUT, bytes.data(), bytes.size());
    return nullptr;
}

// ---- Directories and files ---------------------------------------------------------------------------

Cell* get_current_dir(Cell* const*) {
    Cell dir = files::current_dir();
    return answer(dir);
}

Cell* set_current_dir(Cell* const* args) {
    Cell path = *args[0];
    gc::CellRoot keep(&path);
    if (!files::set_current_dir(&path)) raise_error("access", "cannot-open", &path);
    return nullptr;
}

Cell* create_dir(Cell* const* args) {
    Cell path = *args[0];
    gc::CellRoot keep(&path);
    if (!files::create_dir(&path)) raise_error("access", "no-create", &path);
    return nullptr;
}

Cell* exists_q(Cell* const* args) {
    Cell path = *args[0];
    gc::CellRoot keep(&path);
    return answer_logic(files::exists(&path));
}

// ---- Operating system and clipboard ---------------------------------------------------------------

Cell* os_info(Cell* const*) { return os::push_info_record(); }

Cell* read_clipboard(Cell* const*) { return clipboard::push_read(); }

Cell* write_clipboard(Cell* const* args) {
    Cell data = *args[0];
    gc::CellRoot keep(&data);
    return answer_logic(clipboard::write(&data));
}

// ---- Image files ---------------------------------------------------------------------------------

// An image! from the bytes of an image file, or from a file; none when a
// binary holds no known image signature.
Cell* decode_image(Cell* const* args) {
    Cell data = *args[0];
    gc::CellRoot keep(&data);
    return answer(*image::decode(&data));
}

// The image encoded as BMP (0), PNG (1), GIF (2), JPEG (3) or TIFF (4).
Cell* encode_image(Cell* const* args) {
    Cell img = *args[0];
    gc::CellRoot keep(&img);
    return answer(*image::encode(&img, int32_t(args[1]->data2)));
}

// The image codecs' encode (img, where): the image in the codec's format;
// `where` is not used, the bytes are always the answer.
template <int32_t Format>
Cell* encode_image_as(Cell* const* args) {
    Cell img = *args[0];
    gc::CellRoot keep(&img);
    return answer(*image::encode(&img, Format));
}

// ---- Colours and addresses -------------------------------------------------------------------------

// Raises script/invalid-arg with the first negative argument.
void check_not_negative(Cell* const* args, int n) {
    for (int i = 0; i < n; i++)
        if (integer_of(args[i]) < 0) {
            Cell bad = *args[i];
            raise_error("script", "invalid-arg", &bad);
        }
}

// Each component taken modulo 256.
Cell* as_color(Cell* const* args) {
    check_not_negative(args, 3);
    Cell color;
    tuple::from_rgba(&color, integer_of(args[0]), integer_of(args[1]), integer_of(args[2]), -1);
    return answer(color);
}

// The bytes of the 32-bit word d.c.b.a, low byte first: a component above
// 255 spills into the next byte, bits past 32 are lost.
Cell* as_ipv4(Cell* const* args) {
    check_not_negative(args, 4);
    uint32_t word = uint32_t(integer_of(args[3])) << 24 | uint32_t(integer_of(args[2])) << 16 |
                    uint32_t(integer_of(args[1])) << 8 | uint32_t(integer_of(args[0]));
    uint8_t bytes[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
    return answer(tuple::make(4, bytes));
}

// ---- Text --------------------------------------------------------------------------------------------

Cell* count_chars(Cell* const* args) {
    const Cell* start = args[0];
    SeriesBuffer* s = buffer_of(cell_node(start));
    uint32_t length = s->byte_length();
    uint32_t from = start->data1, to = args[1]->data1;
    if (to > length) to = length;
    int32_t count = 0;
    for (uint32_t i = from; i < to; count++) {
        uint8_t lead = s->head[i];
        i += lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    }
    return answer_integer(count);
}

// ---- The interpreter's stacks -----------------------------------------------------------------------

Cell* stack_size_q(Cell* const*) { return answer_integer(int32_t(stack::state.top - stack::bottom())); }

Cell* pick_stack(Cell* const* args) {
    int32_t idx = integer_of(args[0]);
    int32_t size = int32_t(stack::state.top - stack::bottom());
    if (idx <= 0 || idx >= size) return answer_none();
    return answer(stack::bottom()[idx - 1]);
}

// The routine runs in its own frame: the base of that frame is where the
// routine was called.
Cell* frame_index_q(Cell* const*) { return answer_integer(int32_t(stack::state.base - stack::bottom())); }

Cell* collect_calls(Cell* const* args) {
    Cell blk = *args[0];
    gc::CellRoot keep(&blk);
    stack::collect_trace(&blk);
    return nullptr;
}

Cell* tracing_q(Cell* const*) { return answer_logic(interp::tracing()); }

// Suspends or resumes the events of a traced run; outside one there is no
// callback to resume, so nothing changes.
Cell* set_tracing(Cell* const* args) {
    if (interp::user_tracing()) interp::set_tracing(type_of(args[0]) == TYPE_LOGIC && args[0]->data1 != 0);
    return nullptr;
}

// ---- The collector -------------------------------------------------------------------------------------

// ---- JSON string literals ----------------------------------------------------------------------

int hex_digit(char32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
}

// The code unit of the 4 hexadecimal digits at i, or -1.
int32_t hex4(const std::u32string& s, size_t i) {
    if (i + 4 > s.size()) return -1;
    int32_t n = 0;
    for (size_t k = i; k < i + 4; k++) {
        int d = hex_digit(s[k]);
        if (d < 0) return -1;
        n = n * 16 + d;
    }
    return n;
}

// Decodes the escapes of a JSON string literal in place, from the index on.
Cell* unescape(Cell* const* args) {
    Cell str = *args[0];
    gc::CellRoot keep(&str);
    if (!is_any_string(type_of(&str))) expect_arg("unescape", &str, "str");
    std::u32string in = string::to_code_points(&str);
    if (in.find(U'\\') == std::u32string::npos) return answer(str);
    std::u32string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        char32_t c = in[i++];
        if (c != U'\\' || i >= in.size()) {
            out.push_back(c);
            continue;
        }
        c = in[i++];
        switch (c) {
        case U'b': out.push_back(0x08); break;
        case U'f': out.push_back(0x0C); break;
        case U'n': out.push_back(0x0A); break;
        case U'r': out.push_back(0x0D); break;
        case U't': out.push_back(0x09); break;
        case U'u': {
            int32_t high = hex4(in, i);
            if (high < 0) raise_error("script", "invalid-data", &str);
            i += 4;
            if (high >= 0xD800 && high <= 0xDBFF) {
                int32_t low = (i + 6 <= in.size() && in[i] == U'\\' && in[i + 1] == U'u') ? hex4(in, i + 2) : -1;
                if (low < 0xDC00 || low > 0xDFFF) raise_error("script", "invalid-data", &str);
                i += 6;
                out.push_back(char32_t(0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00)));
            } else {
                out.push_back(char32_t(high));
            }
            break;
        }
        default: out.push_back(c); break;   // the quote, the backslash and the slash
        }
    }
    uint32_t start = uint32_t(string::index_of(&str));
    for (size_t k = 0; k < out.size(); k++) string::write_char_at(&str, start + uint32_t(k), uint32_t(out[k]));
    string::truncate_tail(&str, start + uint32_t(out.size()));
    return answer(str);
}

Cell* gc_active_q(Cell* const*) { return answer_logic(gc::collection_enabled); }
Cell* gc_series_cycles(Cell* const*) { return answer_integer(int32_t(gc::counters.series_cycles)); }
Cell* gc_nodes_cycles(Cell* const*) { return answer_integer(int32_t(gc::counters.nodes_cycles)); }

const Entry LIBRARY[] = {
    {"quit-return", quit_return},
    {"set-quiet", set_quiet},
    {"set-slot-quiet", set_slot_quiet},
    {"shift-right", nullptr, shift_right},
    {"shift-left", nullptr, shift_left},
    {"shift-logical", nullptr, shift_logical},
    {"last-lf?", last_lf_q},
    {"get-current-dir", get_current_dir},
    {"set-current-dir", set_current_dir},
    {"create-dir", create_dir},
    {"exists?", exists_q},
    {"os-info", os_info},
    {"as-color", as_color},
    {"as-ipv4", as_ipv4},
    {"as-rgba", as_ipv4},
    {"count-chars", count_chars},
    {"stack-size?", stack_size_q},
    {"pick-stack", pick_stack},
    {"frame-index?", frame_index_q},
    {"collect-calls", collect_calls},
    {"tracing?", tracing_q},
    {"set-tracing", set_tracing},
    {"read-clipboard", read_clipboard},
    {"write-clipboard", write_clipboard},
    {"decode-image", decode_image},
    {"encode-image", encode_image},
    {"bmp-encode", encode_image_as<0>},
    {"png-encode", encode_image_as<1>},
    {"gif-encode", encode_image_as<2>},
    {"jpeg-encode", encode_image_as<3>},
    {"tiff-encode", encode_image_as<4>},
    {"write-stdout", write_stdout},
    {"gc-active?", gc_active_q},
    {"gc-series-cycles", gc_series_cycles},
    {"gc-nodes-cycles", gc_nodes_cycles},
    {"unescape", unescape},
    {nullptr, nullptr},
};

}  // namespace

const Entry* library_entries() { return LIBRARY; }

}  // namespace qor::routines
