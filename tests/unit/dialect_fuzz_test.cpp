// The GUI's dialects over random input: draw blocks of the dialect's words
// with arguments of every kind, and VID layouts of styles, facets and
// layout words in any order.  Each must draw or lay out, or raise an error;
// none may fault or leave the stacks changed.  The headless window system
// of the native build takes the drawing.
//
// QOR_FUZZ_CASES sets the blocks of each dialect (150 by default),
// QOR_FUZZ_SEED the seed; QOR_FUZZ_PRINT prints each before it runs, and
// what it gave.
#include <string>

#include "random_cases.hpp"

namespace qor {
namespace {

using namespace test;

class DialectFuzz : public RuntimeFixture {
protected:
    Draw d_{1};
    template <class T, size_t N>
    const T& pick(const T (&items)[N]) {
        return d_.pick(items);
    }
    uint32_t below(uint32_t n) { return d_.below(n); }

    std::string draw_argument() {
        static const char* const args[] = {
            "10x10", "0x0", "-5x100", "1000x1000", "0", "1", "2.5", "-1", "360", "255.0.0",
            "0.0.255.128", "off", "red", "round", "miter", "bevel", "square", "border", "closed", "img",
            "fnt", "\"t\"", "(1.5, 2)", "50%", "none", "'x", "[]", "[1 2]", "linear", "radial", "pad",
            "repeat", "tile", "flip-x", "replace", "intersect", "large", "sweep", "1e9", "-2147483648",
        };
        return pick(args);
    }

    std::string draw_block(int depth) {
        static const char* const words[] = {
            "anti-alias", "arc", "box", "circle", "clip", "curve", "ellipse", "fill-pen", "font", "image",
            "invert-matrix", "line", "line-cap", "line-join", "line-pattern", "line-width", "matrix", "pen",
            "polygon", "push", "reset-matrix", "rotate", "scale", "shape", "skew", "spline", "text",
            "transform", "translate", "triangle", "shadow",
        };
        static const char* const shape_words[] = {
            "move", "line", "arc", "curve", "curv", "qcurve", "qcurv", "hline", "vline", "close",
        };
        std::string s = "[";
        for (int n = int(below(6)); n > 0; n--) {
            std::string word = pick(words);
            s += word + " ";
            if (depth > 0 && (word == "push" || word == "clip" || word == "shape" || word == "matrix") &&
                below(2) == 0) {
                if (word == "shape") {
                    s += "[";
                    for (int k = int(below(5)); k > 0; k--) {
                        s += std::string(pick(shape_words)) + " ";
                        for (int a = int(below(4)); a > 0; a--) s += draw_argument() + " ";
                    }
                    s += "] ";
                } else {
                    s += draw_block(depth - 1) + " ";
                }
            }
            for (int a = int(below(5)); a > 0; a--) s += draw_argument() + " ";
        }
        return s + "]";
    }

    std::string vid_block(int depth) {
        static const char* const styles[] = {
            "base", "button", "text", "field", "area", "rich-text", "toggle", "check", "radio", "progress",
            "slider", "scroller", "calendar", "text-list", "drop-list", "drop-down", "group-box", "h1", "h4",
            "box", "image",
        };
        static const char* const words[] = {
            "across", "below", "return", "space 5x5", "pad 10x0", "origin 0x0", "at 20x20", "do [x: 1]",
            "style s1: button", "s1", "window", "space -10x-10", "origin none", "at", "style", "pad",
        };
        static const char* const facets[] = {
            "\"label\"", "100x20", "0x0", "-5x-5", "50", "0.5", "255.0.0", "bold", "italic", "left",
            "center", "font-size 12", "font-size -3", "data [1 \"x\" 2]", "data none", "extra 1", "hidden",
            "disabled", "focus", "loose", "all-over", "with [text: \"w\"]", "para [wrap?: true]",
            "font [size: 20]", "rate 10", "options [a: 1]", "[x: 1]", "on-click [x: 2]", "draw [line 0x0 5x5]",
            "wrap", "no-wrap", "hint \"h\"", "default 1", "select 2", "no-border", "img", "%file.png",
            "font-name \"Consolas\"", "font-color 0.0.255", "cursor 'hand", "init [x: 3]", "none", "'w",
        };
        std::string s = "[";
        for (int n = int(below(6)); n > 0; n--) {
            switch (below(5)) {
            case 0:
                s += std::string(pick(words)) + " ";
                break;
            case 1:
                if (depth > 0) {
                    s += std::string(below(2) ? "panel " : "group-box \"g\" ") + vid_block(depth - 1) + " ";
                    break;
                }
                [[fallthrough]];
            default:
                if (below(4) == 0) s += "f" + std::to_string(below(3)) + ": ";
                s += std::string(pick(styles)) + " ";
                for (int k = int(below(4)); k > 0; k--) s += std::string(pick(facets)) + " ";
                break;
            }
        }
        return s + "]";
    }
};

TEST_F(DialectFuzz, DrawAndLayoutTakeAnyBlock) {
#ifdef _WIN32
    GTEST_SKIP() << "drawn and laid out by the native build's headless window system";
#endif
    eval("img: make image! 4x3 fnt: make font! [name: \"Consolas\" size: 10] x: 0");
    d_ = Draw(env_number("QOR_FUZZ_SEED", 1));
    const uint32_t cases = env_number("QOR_FUZZ_CASES", 150);
    for (uint32_t k = 0; k < cases && !HasFailure(); k++) {
        run_unharmed("try [draw 40x30 " + draw_block(2) + "]");
        run_unharmed("try [layout " + vid_block(2) + "]");
    }
}

}  // namespace
}  // namespace qor
