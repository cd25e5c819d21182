#include "gui/console_launch.hpp"

#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "evaluator/call.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/lexer.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

namespace qor::gui {

namespace {

// The terminal's printer (gui-console-ctx/terminal/vprint), kept for the hook.
Cell g_vprint{TYPE_NONE, 0, 0, 0};

// Evaluates Qor text; the value of its last expression.
Cell run(const char* text) {
    Cell source = string::from_utf8(text);
    gc::CellRoot keep_source(&source);
    Cell code{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_code(&code);
    lexer::transcode(&source, &code);
    stack::Checkpoint cp = stack::checkpoint();
    interp::eval_block(&code, true);
    Cell result = *stack::top_value();
    stack::restore(cp);
    return result;
}

// print and prin: the text goes to the terminal, as the terminal's own
// printer lays it out.
void print_to_terminal(const Cell* text, bool new_line) {
    if (type_of(&g_vprint) != TYPE_FUNCTION) return;
    Cell args[2] = {*text, Cell{TYPE_LOGIC, new_line ? 1u : 0u, 0, 0}};
    gc::CellRoot keep_args(args, 2);
    Cell label = *word::make_from_c_string("vprint");
    gc::CellRoot keep_label(&label);
    Cell result{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    interp::call_function_named(&label, &g_vprint, args, 2, &result);
}

// Over redirected output the console is still set up, hidden, so that scripts
// can use the terminal and the console's functions; print stays on the
// standard output (its hook comes later, from start-up), and gui? stays off,
// so nothing shows the window.  The engine must run whatever happens here: a
// failure is dropped unreported, the console left as far as it got, and face
// changes are synchronised again (load-cfg switches that off first).
void set_up_hidden_console() {
    stack::Checkpoint cp = stack::checkpoint();
    try {
        run("system/console/gui?: false  gui-console-ctx/launch/setup");
        return;
    } catch (const Thrown&) {
    }
    stack::restore(cp);
    try {
        run("system/view/auto-sync?: true");
    } catch (const Thrown&) {
        stack::restore(cp);
    }
}

}  // namespace

bool launch_gui_console() {
    WindowSystem* native = native_window_system();
    if (!native || &ws() != native) return false;
    if (platform::is_redirected(platform::STD_OUT)) {
        set_up_hidden_console();
        return false;
    }
    gc::register_global_cell(&g_vprint);
    g_vprint = run("system/console/gui?: true  :gui-console-ctx/terminal/vprint");
    output_hooks::add(print_to_terminal, nullptr);
    run("gui-console-ctx/launch");
    return true;
}

}  // namespace qor::gui
