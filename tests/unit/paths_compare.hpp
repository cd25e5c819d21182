// The interpreter's two paths side by side: code runs with the shortcuts
// on, then through the general path (the reference mode, which is what
// tracing takes), and everything a script can see must agree: the result
// molded, the error report with its Where, Near and Stack lines, the exit
// code that left, and the depth of both stacks afterwards.
#pragma once
#include <sstream>

#include "runtime_fixture.hpp"

namespace qor::test {

class PathsCompare : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        eval("system/state/stack-trace: 2");
    }
    void TearDown() override {
        interp::set_reference_eval(false);
        RuntimeFixture::TearDown();
    }

    // What one run of the code shows; errors are caught by a try/keep around
    // it (which keeps the calls for the Stack line), so the stacks unwind as a
    // script's would.
    std::string observe(const std::string& text) {
        Cell code = load_source("try/keep [" + text + "\n]");
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        std::ostringstream out;
        try {
            interp::eval_block(&code, false);
            Cell r = *stack::top_value();
            gc::CellRoot keep_r(&r);
            if (type_of(&r) == TYPE_ERROR) out << form_text(r);
            else out << "value " << mold_with(r, false, true, false);
        } catch (const Thrown& t) {
            out << "exit " << std::hex << t.code << std::dec;
        }
        out << "\ncells " << (stack::state.top - cp.top) << " frames " << (stack::state.frames_top - cp.frames_top);
        stack::restore(cp);
        return out.str();
    }

    struct Shown {
        std::string fast, reference;
    };
    // What the code shows on each path, the setup run before each.
    Shown on_both(const std::string& setup, const std::string& text) {
        Shown shown;
        interp::set_reference_eval(false);
        if (!setup.empty()) observe(setup);
        shown.fast = observe(text);
        interp::set_reference_eval(true);
        if (!setup.empty()) observe(setup);
        shown.reference = observe(text);
        interp::set_reference_eval(false);
        return shown;
    }

    // Runs the code on both paths; answers what the fast one showed.
    std::string both(const std::string& setup, const std::string& text) {
        Shown shown = on_both(setup, text);
        EXPECT_EQ(shown.fast, shown.reference) << text;
        return shown.fast;
    }

    template <class C>
    void expect_shows(const C& c) {
        std::string shown = both(c.setup, c.code);
        EXPECT_NE(shown.find(c.shows), std::string::npos) << c.code << "\n" << shown;
    }
};

}  // namespace qor::test
