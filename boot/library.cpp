// The library's top-level code and the console's launch.
#include "boot/library.hpp"

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "console/console_io.hpp"
#include "boot/payload.hpp"
#include "boot/upper_layer.hpp"
#include "library/routines.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error_report.hpp"
#include "datatypes/error.hpp"
#include "datatypes/error_catalog.hpp"
#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/system_fields.hpp"
#include "datatypes/word.hpp"
#include "evaluator/call.hpp"
#include "evaluator/interpreter.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/command_line.hpp"

namespace qor::boot {

// ORDER LIBRARY: the order of the library's top-level code.
const Source LIBRARY_SOURCES[] = {
    {"library/routines.qor", 0},
    {"library/constants.qor", 0},
    {"library/colors.qor", TYPE_TUPLE},
    {"library/base.qor", 0},
    {"library/predicates.qor", 0},
    {"library/conversions.qor", 0},
    {"library/series-text.qor", 0},
    {"library/load.qor", 0},
    {"library/save.qor", 0},
    {"library/files.qor", 0},
    {"library/math.qor", 0},
    {"library/scripts.qor", 0},
    {"library/collect.qor", 0},
    {"library/system.qor", 0},
    {"library/operators.qor", 0},
    {"library/reactivity.qor", 0},
    {"library/url.qor", 0},
    {"library/preprocessor.qor", 0},
    {"library/json.qor", 0},
    {"library/csv.qor", 0},
    {"library/codecs.qor", 0},
    {"library/tools.qor", 0},
    {"library/startup.qor", 0},
    {"gui/view.qor", TYPE_EVENT},
    {"gui/faces.qor", TYPE_EVENT},
    {"gui/draw.qor", TYPE_EVENT},
    {"gui/vid.qor", 0},
    {"gui/mezzanines.qor", 0},
    {"gui/rich-text.qor", 0},
    {"gui/event-funcs.qor", 0},
    {"gui/focus.qor", 0},
    {"gui/face-tools.qor", 0},
    {"console/engine.qor", 0},
    {"console/stdio.qor", 0},
    {"console/help.qor", 0},
    {"console/shell.qor", 0},
    {"gui/console-complete.qor", 0},
    {"gui/terminal.qor", TYPE_EVENT},
    {"gui/console-config.qor", TYPE_EVENT},
    {"gui/console-dialogs.qor", TYPE_EVENT},
    {nullptr, 0},
};

namespace {

int32_t sym(const char* name) { return symbol::intern(name); }

void set_global(const char* name, const Cell& value) {
    Cell v = value;
    gc::CellRoot keep(&v);
    context::set_global_value(sym(name), &v);
}

const Cell* global(const char* name) { return context::global_value_pointer(sym(name)); }

void set_system_field(std::initializer_list<const char*> owner, const char* name, const Cell& value) {
    Cell v = value;
    gc::CellRoot keep(&v);
    const Cell* obj = owner.size() == 0 ? global("system") : system_fields::value(owner);
    if (!obj) payload::fail("the system object lacks a field for", name);
    Cell o = *obj;
    gc::CellRoot keep_o(&o);
    Cell* slot = system_fields::field(&o, name);
    if (!slot) payload::fail("the system object lacks the field", name);
    *slot = v;
}

// ---- Values start-up makes itself ---------------------------------------------------------

void make_first_values() {
    set_global("datatype!", Cell{TYPE_DATATYPE, TYPE_DATATYPE, 0, 0});
    set_global("none", Cell{TYPE_NONE, 0, 0, 0});
    set_global("true", Cell{TYPE_LOGIC, 1, 0, 0});
    set_global("false", Cell{TYPE_LOGIC, 0, 0, 0});
}

Cell typeset(std::initializer_list<uint32_t> types) {
    Cell ts{TYPE_TYPESET, 0, 0, 0};
    for (uint32_t t : types) typeset_set_bit(&ts, t);
    return ts;
}

// The union of typesets already made, by name, and further types.
Cell typeset_union(std::initializer_list<const char*> names, std::initializer_list<uint32_t> types) {
    Cell ts = typeset(types);
    for (const char* n : names) {
        const Cell* other = global(n);
        ts.data1 |= other->data1;
        ts.data2 |= other->data2;
        ts.data3 |= other->data3;
    }
    return ts;
}

// The links that the runtime reads through the system object.
const Cell* script_title() {
    const Cell* title = system_fields::value({"script", "title"});
    return title && type_of(title) == TYPE_STRING ? title : nullptr;
}
const Cell* stack_trace_setting() { return system_fields::value({"state", "stack-trace"}); }
const Cell* source_files_setting() { return system_fields::value({"state", "source-files"}); }

// The system object's fields that the runtime fills: the global context as
// an object, the error catalog and prototype, the start-up directory and the
// raw command line.
void wire_system_object() {
    Cell words = *object::push_for_context(context::global(), object::BOOT_CLASS, nullptr);
    stack::pop(1);
    set_system_field({}, "words", words);
    const Cell* catalog = error_catalog::installed();
    if (catalog) set_system_field({"catalog"}, "errors", *catalog);
    set_system_field({"standard"}, "error", *error::prototype());
    std::string raw = command_line::raw_text();
    Cell args = string::from_utf8(raw.data(), raw.size());
    set_system_field({"script"}, "args", args);
#ifndef _WIN32
    // The native build says where it runs (the cache directory follows it).
    set_system_field({}, "platform", *word::make_from_c_string("Linux"));
#endif
    error::set_caption_reader(script_title);
    error::set_setting_readers(stack_trace_setting, source_files_setting);
}

// ---- Running sources -----------------------------------------------------------------------

bool registered(uint32_t type) {
    const char* name = type == 0 ? "" : registry::type_name(type).name;
    return type == 0 || (name && *name);
}

void run_source(const Source& s) {
    if (!registered(s.needs)) return;
    Cell code = payload::load_embedded(s.name);
    gc::CellRoot keep(&code);
    interp::mark_compiled(&code);
    stack::Checkpoint cp = stack::checkpoint();
    interp::eval_block(&code, false);
    stack::restore(cp);
}

// Marks every function the library made as compiled code: the values of the
// global context and, through objects, of every object reachable from them.
void mark_library_functions() {
    std::vector<Node> seen;
    std::vector<Node> pending{context::global()};
    gc::NoCollect quiet;   // nodes are kept in a C++ vector meanwhile
    while (!pending.empty()) {
        Node ctx = pending.back();
        pending.pop_back();
        uint32_t n = context::word_count(ctx);
        for (uint32_t i = 0; i < n; i++) {
            Cell* v = object::value_pointer_at(ctx, int32_t(i));
            if (!v) continue;
            uint32_t t = type_of(v);
            if (t == TYPE_FUNCTION) {
                interp::mark_compiled(v);
            } else if (t == TYPE_OBJECT) {
                Node inner = object::context_of(v);
                bool known = false;
                for (Node s : seen) known |= s == inner;
                if (!known) {
                    seen.push_back(inner);
                    pending.push_back(inner);
                }
            }
        }
    }
}

}  // namespace

void make_typesets() {
    set_global("internal!", typeset({TYPE_UNSET}));
    set_global("external!", typeset({TYPE_EVENT}));
    set_global("number!", typeset({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT}));
    set_global("planar!", typeset({TYPE_PAIR, TYPE_POINT2D}));
    set_global("any-point!", typeset({TYPE_POINT2D, TYPE_POINT3D}));
    set_global("scalar!", typeset_union({"number!", "any-point!"},
                                        {TYPE_MONEY, TYPE_CHAR, TYPE_PAIR, TYPE_TUPLE, TYPE_TIME, TYPE_DATE}));
    set_global("any-word!", typeset({TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD}));
    set_global("all-word!", typeset_union({"any-word!"}, {TYPE_REFINEMENT, TYPE_ISSUE}));
    set_global("any-list!", typeset({TYPE_BLOCK, TYPE_PAREN, TYPE_HASH}));
    set_global("any-path!", typeset({TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}));
    set_global("any-block!", typeset_union({"any-path!", "any-list!"}, {}));
    set_global("any-function!", typeset({TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE}));
    set_global("any-object!", typeset({TYPE_OBJECT, TYPE_ERROR, TYPE_PORT}));
    set_global("any-string!", typeset({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF}));
    set_global("series!", typeset_union({"any-block!", "any-string!"}, {TYPE_BINARY, TYPE_IMAGE, TYPE_VECTOR}));
    set_global("immediate!", typeset_union({"scalar!", "all-word!"},
                                           {TYPE_NONE, TYPE_LOGIC, TYPE_DATATYPE, TYPE_TYPESET, TYPE_HANDLE,
                                            TYPE_DATE}));
    set_global("default!", typeset_union({"any-function!", "external!", "any-object!", "immediate!", "series!"},
                                         {TYPE_MAP, TYPE_BITSET}));
    set_global("any-type!", typeset_union({"default!", "internal!"}, {}));
}

void boot_library(bool stress_boot) {
    // The stress mode is for the code a test exercises: the library's own
    // top-level code is the same in every process, so it runs unstressed
    // unless asked (one test boots under stress), which keeps a stressed
    // suite from spending most of its time collecting during boots.
    struct StressRestore {
        uint32_t every = gc::stress_interval();
        ~StressRestore() { gc::set_stress_interval(every); }
    } restore;
    if (!stress_boot) gc::set_stress_interval(0);
    object::set_boot_classes(true);
    make_first_values();
    if (const UpperLayer* upper = upper_layer(); upper && upper->before_library) upper->before_library();
    set_global("boot-routine", routines::make_maker());
    for (const Source* s = LIBRARY_SOURCES; s->name; s++) {
        run_source(*s);
        if (std::strcmp(s->name, "library/constants.qor") == 0) make_typesets();
        if (std::strcmp(s->name, "library/system.qor") == 0) wire_system_object();
    }
    set_global("boot-routine", Cell{TYPE_UNSET, 0, 0, 0});
    object::set_boot_classes(false);
    mark_library_functions();
}

void launch_console() {
    console_io::install_output();
    set_system_field({"console"}, "size", console_io::terminal_size());
    const Cell* launch = system_fields::value({"console", "launch"});
    if (!launch) payload::fail("no system/console/launch");
    Cell fn = *launch;
    gc::CellRoot keep_fn(&fn);
    Cell label = *word::make_from_c_string("launch");
    gc::CellRoot keep_label(&label);
    Cell result{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    interp::call_function_named(&label, &fn, nullptr, 0, &result);
}

}  // namespace qor::boot
