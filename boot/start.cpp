// Start-up: the process, the runtime's initialisation in its fixed order,
// the boot definitions, the library, the console, and the end of the run.
#include "boot/start.hpp"

#include <cstdint>

#include "console/console_io.hpp"
#include "boot/library.hpp"
#include "boot/payload.hpp"
#include "boot/upper_layer.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/char.hpp"
#include "datatypes/context.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error_report.hpp"
#include "datatypes/error.hpp"
#include "datatypes/error_catalog.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/file.hpp"
#include "datatypes/port.hpp"
#include "datatypes/url.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/hash.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "datatypes/image.hpp"
#include "datatypes/native.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/none.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/path.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/tag_email_ref.hpp"
#include "datatypes/time.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/vector.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_system.hpp"
#include "evaluator/trace.hpp"
#include "datatypes/stack.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/memory.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/ownership.hpp"
#include "runtime/platform.hpp"
#include "runtime/process.hpp"
#include "runtime/random.hpp"
#include "runtime/resources.hpp"
#include "datatypes/root_block.hpp"
#include "runtime/runtime_error.hpp"
#include "runtime/throw.hpp"
#include "services/files.hpp"
#include "services/http.hpp"
#include "services/image_codecs.hpp"
#include "services/qorbin.hpp"

namespace qor::boot {

namespace {

// The root block never grows: its room covers what start-up keeps there.
constexpr uint32_t ROOT_BLOCK_ROOM = 9748;
// Free series space made before the library loads: what it allocates, with
// some to spare (it keeps about 3 MB).
constexpr uint32_t BOOT_LIBRARY_ROOM = 6u << 20;

// All six exceptions masked, 53-bit precision, rounding to nearest.  The
// arithmetic runs on SSE; the x87 unit is still set as the runtime expects.
constexpr uint16_t FPU_CONTROL_WORD = 0x027F;

void reset_fpu() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fninit");
#endif
}

void load_fpu_control_word() {
#if defined(__i386__) || defined(__x86_64__)
    uint16_t cw = FPU_CONTROL_WORD;
    __asm__ volatile("fldcw %0" : : "m"(cw));
#endif
}

// The registration of each datatype, by the first id it registers.  Types
// whose modules are not built yet have no entry and are skipped.
struct Registration {
    uint8_t id;
    void (*init)();
};
const Registration REGISTRATIONS[] = {
    {TYPE_DATATYPE, datatype::init},
    {TYPE_UNSET, unset::init},
    {TYPE_NONE, none::init},
    {TYPE_LOGIC, logic::init},
    {TYPE_SERIES, series::init},
    {TYPE_BLOCK, block::init},
    {TYPE_STRING, string_actions::init},
    {TYPE_BINARY, binary::init},
    {TYPE_INTEGER, integer::init},
    {TYPE_SYMBOL, symbol::init},
    {TYPE_CONTEXT, context::init},
    {TYPE_WORD, word::init},          // and lit-word!, set-word!, get-word!, refinement!
    {TYPE_CHAR, char_::init},
    {TYPE_NATIVE, native::init},      // and action!, op!
    {TYPE_PATH, path::init},          // and lit-path!, set-path!, get-path!
    {TYPE_FUNCTION, function::init},  // and routine!
    {TYPE_PAREN, paren::init},
    {TYPE_ISSUE, issue::init},
    {TYPE_URL, [] { url::init(); url::set_http_client(http::request); file::init(files::layer()); }},   // and file!, whose I/O is the file service's; url!'s HTTP is the client's
    {TYPE_OBJECT, object::init},
    {TYPE_BITSET, bitset::init},
    {TYPE_TRIPLE, triple::init},
    {TYPE_FLOAT, float_::init},
    {TYPE_TYPESET, typeset::init},
    {TYPE_MAP, map::init},
    {TYPE_PAIR, pair::init},
    {TYPE_PERCENT, percent::init},
    {TYPE_POINT2D, point::init2d},
    {TYPE_POINT3D, point::init3d},
    {TYPE_TUPLE, tuple::init},
    {TYPE_TIME, time::init},
    {TYPE_DATE, date::init},
    {TYPE_MONEY, money::init},
    {TYPE_VECTOR, vector::init},
    {TYPE_HASH, hash::init},
    {TYPE_TAG, tag::init},
    {TYPE_EMAIL, email::init},
    {TYPE_REF, ref::init},
    {TYPE_IMAGE, image::init},
    {TYPE_HANDLE, handle::init},
    {TYPE_PORT, port::init},
};

void register_datatypes() {
    for (uint8_t id : REGISTRATION_ORDER) {
        for (const Registration& r : REGISTRATIONS)
            if (r.id == id) r.init();
    }
    // event! and whatever else the layer above registers.
    if (const UpperLayer* upper = upper_layer(); upper && upper->register_types) upper->register_types();
}

}  // namespace

// The runtime's set-up, in the order that later steps rely on: each step
// reads tables, words or cells that an earlier one made.
void runtime_reset() {
    interp::set_user_tracing(false);
    interp::set_tracing(false);
    number_hooks::get() = number_hooks::Hooks{};
    eval_links::get().raise = nullptr;
    error_catalog::uninstall();
    errors::clear();
    owner::set_deep_change_hook(nullptr);
    owner::release();
    object::reset_class_counter();
    context::set_on_change_hook(nullptr);
    stack::init();
    datatype::unbind_names();
    words::reset();
    root_block::set_collecting(false);
    qorbin::payload_root_base = nullptr;   // a cell of the root block released below
    cycle_stack::reset();
    memory::release_all();
}

void runtime_init_services() {
    output_hooks::init();
    platform::init();
    random::init();
    memory::init();
    cycle_stack::init();
    resource_table::init();
    image_codecs::init();
    register_datatypes();
    actions::init();

    root_block::make(ROOT_BLOCK_ROOM);
    root_block::set_collecting(true);   // keep-words: words made now stay put
    symbol::make_table();
    context::make_global();
    case_::init_tables();
    symbol::make_index();
    datatype::bind_names();
    words::init_fixed();
    words::init_refinements();
    words::make_ooo_issue();
    // error! registers once the fixed words exist: its prototype needs them.
    error::init();

    natives::init();
    owner::init_table();
    natives::init_checksum_methods();
    stack::init();
    interp::init();
    lexer::init();
}

void runtime_init() {
    runtime_init_services();
    payload::decode();
    Cell catalog = error_catalog::build();
    gc::CellRoot keep(&catalog);
    error_catalog::install(&catalog);

    gc::counters = gc::Counters{0, 0};
}

namespace {

int run() {
    try {
        runtime_init();
        // The collector may run from here on; words made later are ordinary
        // words of the global context.
        gc::finish_startup();
        root_block::set_collecting(false);
        // Nearly all the library's load stays live (functions, objects,
        // their code), so the heap is given room for it first: collecting
        // while it fills up would walk the growing library for little.
        memory::reserve_series_space(BOOT_LIBRARY_ROOM);
        boot_library();
        // The GUI console when the layer above runs it; else the console
        // engine over the standard streams.
        const UpperLayer* upper = upper_layer();
        if (!upper || !upper->launch_console || !upper->launch_console()) launch_console();
    } catch (const Thrown& t) {
        if (t.code == THROW_ERROR) error::report_uncaught(errors::last_raised());
        throw;
    }
    // The console did not stay open: a normal end frees the tracked heap.
    runtime::error(0, 0);
}

// After the process set-up: the control word, then the outermost catch
// frame around everything else.
int start(void* stack_top) {
    load_fpu_control_word();
    gc::set_stack_base(stack_top);
    return runtime::run_outermost(run);
}

}  // namespace

#ifdef _WIN32
int qor_main() {
    reset_fpu();
    runtime::init_process();
    return start(__builtin_frame_address(0));
}
#else
int qor_main(int argc, char** argv) {
    reset_fpu();
    runtime::init_process(argc, argv);
    return start(__builtin_frame_address(0));
}
#endif

}  // namespace qor::boot
