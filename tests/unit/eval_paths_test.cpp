// The interpreter's two paths side by side on cases written by hand.
#include "paths_compare.hpp"

namespace qor {
namespace {

using namespace test;

class EvalPaths : public PathsCompare {};

struct Case {
    const char* setup;
    const char* code;
    const char* shows;   // a piece of what the fast path must show
};


TEST_F(EvalPaths, ExpressionsCallsAndErrorsAgree) {
    static const Case cases[] = {
        {"", "1 + 2 * 3", "value 9"},
        {"", "2147483647 + 1", "value 2147483648.0"},
        {"", "-2147483648 - 1", "value -2147483649.0"},
        {"", "65536 * 65536", "value 4294967296.0"},
        {"", "1.5 + 2 * 2.0", "value 7.0"},
        {"", "7 - 2.5", "value 4.5"},
        {"", "x: 0.5 y: 4 x * y - 0.25 + x", "value 2.25"},
        {"", "0.1 + 0.2", "value 0.30000000000000004"},
        {"", "1e308 * 10", "value 1.#INF"},
        {"", "1e308 + 1e308 - 1.0", "value 1.#INF"},
        {"", "-0.0 * 5", "value -0.0"},
        {"", "2.5 + 1% ", "value"},
        {"", "1.5 + 10x20", "value"},
        {"", "x: 1.5 repeat i 3 [x: x * i] x", "value 9.0"},
        {"", "1 < 2.0", "value #(true)"},
        {"", "3 = 3.0", "value #(true)"},
        {"", "\"a\" < \"b\"", "value #(true)"},
        {"", "5 // 0", "Math Error"},
        {"", "reduce [remainder -7 2  remainder 7 -2  -7 // 2  6 / 3  -6 / 3  7 / 2  divide 1 3]",
         "value [-1 1 1 2 -2 3.5 0.3333333333333333]"},
        {"", "remainder 5 0", "Math Error"},
        {"", "divide -2147483648 -1", "Math Error"},
        {"", "remainder -2147483648 -1", "Math Error"},
        {"", "reduce [remainder 7.5 2  divide 7.0 2  remainder 7 2.5  divide 7 2.0  remainder 7 #\"^C\"]",
         "value [1.5 3.5 2.0 3.5"},
        {"", "1 + \"a\"", "*** Near : "},
        {"", "x: 1 x + none", "Where: +"},
        {"", "+ 1 2", "operator is missing"},
        {"", "1 +", "is missing its"},
        {"", "a: b: 10 + 1 a + b", "value 22"},
        {"", "x: ()", "needs a value"},
        {"", "unknown-word-here + 1", "has no value"},
        {"f: func [a b] [a - b]", "f 10 f 3 1", "value 8"},
        {"f: func [a b] [a - b]", "1 + f 5 2", "value 4"},
        {"f: func [a] [a / 0]", "g: func [] [f 1] g", "*** Stack: "},
        {"f: func [a [integer!]] [a]", "f \"no\"", "does not allow string!"},
        {"f: make op! func [a [integer!] b] [b]", "\"x\" f 2", "does not allow string! for its a"},
        {"g: make op! func [a b] [a]", "() g 2", "g does not allow unset! for its a"},
        {"g: make op! func [a b] [a]", "1 g ()", "g does not allow unset! for its b"},
        {"h: func [a b [any-type!]] [type? get/any 'b]", "h 1 ()", "value #(unset!)"},
        {"f: func [/r x] [either r [x] [0]]", "f/r 4 + f", "value 4"},
        {"", "append/only/only [] 1", "duplicate refinement"},
        {"", "b: [1 2 3] b/2: 7 b", "value [1 7 3]"},
        {"", "o: object [n: 1 f: func [] [n: n + 1]] o/f o/f", "value 3"},
        {"", "s: 0 repeat i 10 [s: s + i] s", "value 55"},
        {"", "s: 0 foreach [a b] [1 2 3 4 5] [s: s + a + any [b 0]] s", "value 15"},
        {"", "n: 0 while [n < 5] [n: n + 1] n", "value 5"},
        {"", "x: 0 loop 3 [x: x + 1] x", "value 3"},
        {"", "case [false [1] 1 > 2 [2] true [3]]", "value 3"},
        {"", "switch 2 [1 [10] 2 [20]]", "value 20"},
        {"", "either 1 > 2 ['a] ['b]", "value b"},
    };
    for (const Case& c : cases) expect_shows(c);
}

TEST_F(EvalPaths, ExitsFromAnyPositionAgree) {
    static const Case cases[] = {
        {"g: func [x] [x * 100]", "f: func [] [g return 1] f", "value 1"},
        {"", "f: func [] [1 + return 2] f", "value 2"},
        {"", "f: func [] [x: return 3] f", "value 3"},
        {"", "n: 0 loop 2 [n: n + 1 1 + break] n", "value 1"},
        {"", "n: 0 loop 3 [n: n + 1 if n = 2 [1 + continue] n: n + 10] n", "value 33"},
        {"", "loop 2 [append [] break/return 5]", "value 5"},
        {"", "catch [1 + throw 8]", "value 8"},
        {"", "f: func [] [either true [return 4] [0] 9] f", "value 4"},
        {"", "f: func [] [foreach x [1 2] [while [true] [return x]]] f", "value 1"},
        {"", "f: func [] [exit] type? f", "unset"},
        {"", "1 + break", "no loop to break"},
        {"", "return 1", "not in function"},
        {"", "try/all [loop 2 [break]] 6", "value 6"},
    };
    for (const Case& c : cases) expect_shows(c);
}

TEST_F(EvalPaths, CodeAndBindingsChangedBetweenOrDuringRunsAgree) {
    static const Case cases[] = {
        // A block that grows while it runs ends where it ended when it began.
        {"", "n: 0 b: [n: n + 1 if n < 4 [append b [n: n * 2]]] do b n", "value 1"},
        // A block cut short while it runs ends sooner.
        {"", "n: 0 b: [clear next next b n: 1 n: 2] do b n", "value 0"},
        // Code in an expression cuts off the operators after it, or the
        // value a set-word or set-path after it would take.
        {"", "n: 0 b: [n: (clear next next b 3) + 4] do b n", "value 3"},
        {"f: func [a b] [reduce [a b]]", "b: [f (remove/part skip b 3 2 1) y: 5 6] do b", "needs a value"},
        {"f: func [a b] [reduce [a b]] o: object [y: 0]", "b: [f (remove/part skip b 3 2 1) o/y: 5 6] do b",
         "needs a value"},
        // The same block rebound between two runs reads the new binding.
        {"", "x: 1 b: [x + 1] r1: do b o: object [x: 10] bind b o reduce [r1 do b]", "value [2 11]"},
        // A word redefined between two runs of the same code.
        {"", "b: [k * 2] k: 3 r1: do b k: 5.5 reduce [r1 do b]", "value [6 11.0]"},
        // An operator redefined as a function is called as a function.
        {"", "plus: :+ b: [1 + 2] r1: do b +: func [a] [a * 10] r2: do b +: :plus reduce [r1 r2]",
         "value [3 20]"},
        // An operator made from another function runs that one.
        {"", "minus: make op! :subtract b: [7 minus 2] do b", "value 5"},
        {"", "plus: :+ +: make op! :multiply r: 3 + 4 +: :plus r", "value 12"},
        // A function redefined while it recurses.
        {"", "f: func [n] [if n = 2 [f: func [n] [100]] either n = 0 [0] [1 + f n - 1]] f 4", "value 103"},
    };
    for (const Case& c : cases) expect_shows(c);
}

TEST_F(EvalPaths, CallsByTheFunctionsShapeAgree) {
    static const Case cases[] = {
        // Redefined between calls: the new function's own shape.
        {"f: func [a] [a + 1]", "r1: f 1 f: func [a b] [a * b] r2: f 2 3 f: :append r3: f [] 4 reduce [r1 r2 r3]",
         "value [2 6 [4]]"},
        // A spec block changed after the function was made.
        {"", "s: [a] f: func s [a] r1: f 1 append s 'b r2: f 2 reduce [r1 r2]", "value [1 2]"},
        {"", "s: [a] f: func s [reduce [a]] append s 'b f 5 6", "value [5]"},
        // Refinements with several arguments, given in any order or not at all.
        {"f: func [a /r x y /s z] [reduce [a r x y s z]]", "reduce [f 1 f/r 1 2 3 f/s/r 1 4 2 3]",
         "value [[1 #(false) #(none) #(none) #(false) #(none)] [1 #(true) 2 3 #(false) #(none)] [1 #(true) 2 3 #(true) 4]]"},
        {"f: func [a /r x [integer!]] [a]", "f/r 1 \"no\"", "does not allow string! for its x"},
        // Locals and return: after the arguments.
        {"f: func [a b /local x y] [reduce [a b x y]]", "f 1 2", "value [1 2 #(none) #(none)]"},
        {"f: func [a b /r c return: [block!]] [reduce [a b r c]]", "reduce [f 1 2 f/r 1 2 3]",
         "value [[1 2 #(false) #(none)] [1 2 #(true) 3]]"},
        {"f: func [a b return: [block!]] [reduce [a b]]", "f 1 2", "value [1 2]"},
        // Get-word and lit-word arguments, an optional last one.
        {"f: func [:a 'b c] [reduce [a b c]]", "f x y 1 + 2", "value [x y 3]"},
        {"f: func [:a 'b c] [reduce [a b c]]", "f (1 + 1) (2 + 2) 3", "value [(1 + 1) 4 3]"},
        {"f: func ['a [any-type!]] [type? get/any 'a]", "f", "value #(unset!)"},
        {"f: func [a 'b [any-type!]] [reduce [a type? get/any 'b]]", "f 1", "value [1 #(unset!)]"},
        // Type errors name the argument, missing ones too.
        {"f: func [a [integer!] b [string!]] [a]", "f 1 2", "does not allow integer! for its b"},
        {"f: func [a b] [a]", "f 1", "is missing its b argument"},
        // Natives and actions with refinements called plainly and by path.
        {"", "reduce [copy \"abc\" copy/part \"abc\" 2 append [] 1 append/only [] [1]]",
         "value [\"abc\" \"ab\" [1] [[1]]]"},
        // Operators made from functions; an operator redefined as a function.
        {"", "o: make op! func [a b] [a - b] 10 o 3 o 2", "value 5"},
        {"", "o: make op! func [a 'b] [reduce [a b]] 1 o x", "value [1 x]"},
        {"", "minus: :- -: func [a b] [a + b] r: - 1 2 -: :minus reduce [r 5 - 1]", "value [3 4]"},
        // A function and its copies, after the first is gone and collected.
        {"", "f: func [a b] [a - b] f 9 1 g: :f f: none recycle g 7 2", "value 5"},
        {"", "loop 3 [f: func [a /r b] [either r [b] [a]] f 1 recycle] f/r 1 2", "value 2"},
        // apply passes the slots in spec order.
        {"f: func [a /r x] [reduce [a r x]]", "reduce [apply/all :f [1 true 2] apply :f [1]]",
         "value [[1 #(true) 2] [1 #(false) #(none)]]"},
    };
    for (const Case& c : cases) expect_shows(c);
}

// while, loop and repeat run their blocks inside the interpreter's loop,
// between decisions the natives make elsewhere: results, exits aimed at
// the loop or beyond it, errors from the condition, the body and the counts.
TEST_F(EvalPaths, LoopNativesAgree) {
    static const Case cases[] = {
        {"", "reduce [loop 3 [1] loop 0 [1] loop -1 [2] loop 2.7 ['x] loop 1 []]", "value [1 #(none) #(none) x #(unset)]"},
        {"", "n: 0 reduce [while [n < 5] [n: n + 1] n while [false] [1]]", "value [#(unset) 5 #(unset)]"},
        {"", "n: 0 loop 10 [n: n + 1 if n = 4 [break/return 'b] n]", "value b"},
        {"", "n: 0 loop 10 [n: n + 1 if odd? n [continue] n]", "value 10"},
        {"", "n: 0 s: 0 while [n < 10] [n: n + 1 if odd? n [continue] if n = 8 [break] s: s + n] reduce [n s]",
         "value [8 12]"},
        {"", "f: func [] [loop 5 [while [true] [return 'ret]] 'no] f", "value ret"},
        {"", "g: func [n] [loop n [n: n - 1 if n = 2 [exit]] 'done] type? g 5", "value #(unset!)"},
        {"", "catch [loop 3 [repeat i 2 [throw i * 7]]]", "value 7"},
        {"", "x: 0 loop 3 [loop 2 [x: x + 1 break] x: x + 10] x", "value 33"},
        {"", "loop 2 [loop 2 [continue] 'after]", "value after"},
        {"", "while [break] [1]", "cannot be used in WHILE condition block"},
        {"", "while [continue] [1]", "cannot be used in WHILE condition block"},
        {"", "while [] [1]", "block did not return a value"},
        {"", "n: 0 while [n: n + 1 if n > 2 [1 + none] true] [n]", "Where: +"},
        {"", "loop 2 [1 + none]", "*** Near : 1 + none"},
        {"", "loop \"a\" [1]", "does not allow string!"},
        {"", "reduce [repeat i 3 [i * 10] repeat i 0 [1] repeat i -2 [1] repeat i 2.9 [i]]", "value [30 #(none) #(none) 2]"},
        {"", "s: 0 repeat i 10 [if i = 3 [continue] if i = 6 [break] s: s + i] s", "value 12"},
        {"", "repeat i 5 [if i = 2 [break/return i * 100]]", "value 200"},
        {"", "f: func [/local j] [repeat j 3 [if j = 2 [return j]]] f", "value 2"},
        {"", "h: func [n] [repeat i n [n: i]] h 4", "value 4"},
        {"", "o: make object! [k: 0 seen: copy [] on-change*: func [w old new] [append seen new]] "
             "do bind [repeat k 3 [k]] o o/seen",
         "value [1 2 3]"},
        {"", "repeat i 3 [i + \"x\"]", "does not allow string!"},
        {"", "repeat 5 3 [1]", "does not allow integer!"},
        {"", "w: 'j reduce [repeat :w 2 [j * 3] repeat (w) 2 [j]]", "value [6 2]"},
        {"", "f: func [n] [repeat n n [n * 2]] f 3", "value 6"},
        {"", "b: [n: n + 1 if n = 2 [clear b] n] n: 0 loop 3 b", "value #(unset)"},
        {"", "reduce [foreach x [1 2 3] [x * 2] foreach x [] [1] foreach [a b] [1 2 3] [reduce [a b]] foreach c \"ab\" [c]]",
         "value [6 #(unset) [3 #(none)] #\"b\"]"},
        {"", "s: 0 foreach x [1 2 3 4 5 6] [if x = 2 [continue] if x = 5 [break] s: s + x] s", "value 8"},
        {"", "m: make map! [a 1 b 2] r: copy [] foreach [k v] m [append r reduce [k v]] r", "value [a 1 b 2]"},
        {"", "m: make map! [a 1] foreach x m [1]", "Script Error"},
        {"", "foreach x 5 [1]", "does not allow integer!"},
        {"", "f: func [b] [foreach x b [if x > 1 [return x]] 'no] f [0 1 2 3]", "value 2"},
        {"", "b: [1 2 3 4] foreach x b [if x = 2 [clear b] x]", "value 2"},
        {"", "w: 'z reduce [foreach :w [5 6] [z] foreach (to block! 'q) [9] [q]]", "value [6 9]"},
        {"", "o: make object! [x: 0 seen: copy [] on-change*: func [w old new] [append seen new]] "
             "do bind [foreach x [7 8] [x]] o o/seen",
         "value [7 8]"},
        {"", "foreach x [1 2] [x + \"a\"]", "*** Where: +"},
    };
    for (const Case& c : cases) expect_shows(c);
}

TEST_F(EvalPaths, StepsRunWithoutRecursionAgree) {
    static const Case cases[] = {
        // Exits thrown through a native's own evaluation to a body or loop.
        {"", "f: func [] [all [return 11] 12] f", "value 11"},
        {"", "f: func [] [reduce [1 return 2 3]] f", "value 2"},
        {"", "f: func [] [do [either true [return 5] [6]] 7] f", "value 5"},
        {"", "f: func [] [g: func [] [return 1] 2 + g] f", "value 3"},
        {"", "n: 0 loop 2 [n: n + 1 all [break]] n", "value 1"},
        {"", "f: func [] [(return 4) 5] f", "value 4"},
        {"", "g: func [a b] [a + b] f: func [] [g 1 (return 6)] f", "value 6"},
        {"", "f: func [x] [if x [exit] 1] reduce [f false type? f true]", "value [1 #(unset!)]"},
        // loop and while run their blocks in their own loop frame.
        {"", "n: 0 loop 3 [n: n + 1 if n = 2 [continue] n: n * 10] n", "value 111"},
        {"", "reduce [loop 0 [1] loop -1 [1] loop 2.5 [3] loop 2 [] loop 3 [break/return 7]]",
         "value [#(none) #(none) 3 #(unset) 7]"},
        {"", "n: 0 while [n < 5] [n: n + 1 if n > 2 [break] n] n", "value 3"},
        {"", "n: 0 r: type? while [n < 5] [n: n + 1 if odd? n [continue] n] reduce [n r]", "value [5 #(unset!)]"},
        {"", "while [break] [1]", "cannot be used in WHILE condition"},
        {"", "s: 0 repeat i 4 [if i = 2 [continue] s: s + i] reduce [s i]", "value [8 4]"},
        {"", "reduce [repeat i 0 [1] repeat i 3 [i * 10] repeat i 2.5 [i] repeat i 9 [if i = 3 [break/return i]]]",
         "value [#(none) 30 2 3]"},
        {"", "o: object [k: 0] repeat k 2 [o/k: k] f: func [/local j] [repeat j 3 [] j] reduce [o/k f]", "value [2 3]"},
        {"", "repeat i 3 [i: \"x\"]", "value \"x\""},
        {"", "while [()] [1]", "did not return a value"},
        {"", "f: func [] [loop 5 [while [true] [return 9]]] f", "value 9"},
        {"", "n: 0 loop 2 [n: n + 1 while [true] [loop 1 [break] break]] n", "value 2"},
        {"", "loop 2 [1 + unknown-here]", "*** Stack: "},
        // Branches, parens and set-words nested in arguments.
        {"", "f: func [n] [either n > 0 [unless n = 3 [n * (f n - 1)]] [1]] f 2", "value 2"},
        {"", "f: func [n] [either n > 0 [unless n = 3 [n * (f n - 1)]] [1]] f 4", "does not allow none!"},
        {"", "a: b: (c: 2 + 3) * (d: 2) reduce [a b c d]", "value [10 10 5 2]"},
        {"", "reduce [if false [1] unless true [2] either false [3] [4] if 1 []]", "value [#(none) #(none) 4 #(unset)]"},
        {"", "either () [1] [2]", "did not return a value"},
        {"", "f: func [] [] type? f", "unset"},
        {"", "f: func [a] [a] f ()", "f does not allow unset! for its a"},
        // Errors deep in bodies and branches report the same calls.
        {"g: func [x] [either x > 1 [x / 0] [g x + 1]] h: func [] [if true [(g 0)]]", "h", "*** Stack: "},
        {"", "f: func [] [either true [x: 1 + none] [0]] f", "Where: +"},
        // case runs the block it chooses in its own frame.
        {"", "reduce [case [false [1] 2 > 1 [2 + 3] true [9]] case [false [1]] case [] case [true 7] case [true []]]",
         "value [5 #(none) #(none) 7 #(unset)]"},
        {"", "reduce [case/all [true [1] true [2]] case/all [true [1] false [2]] case [none [1] 'x [2]]]",
         "value [2 #(none) 2]"},
        {"", "case [1 < 2]", "needs a value"},
        {"", "case [() [1]]", "did not return a value"},
        {"", "f: func [] [case [true [1 / 0]]] f", "*** Stack: "},
        {"", "f: func [] [case [true [x: 1 + none]]] f", "Where: +"},
        {"", "f: func [n] [case [n = 0 [0] true [n + f n - 1]]] f 50", "value 1275"},
        {"", "f: func [] [case [true [return 3]] 4] f", "value 3"},
        {"", "x: 0 loop 3 [x: x + 1 case [x = 2 [break]]] x", "value 2"},
        {"", "f: func [] [reduce [case [true [recycle 1]] case [false [2] true [recycle 3]]]] f", "value [1 3]"},
        // Collections while bodies and arguments are in flight.
        {"g: func [a b] [recycle a + b] f: func [n] [either n = 0 [0] [g n f n - 1]]", "f 30", "value 465"},
    };
    for (const Case& c : cases) expect_shows(c);
}

TEST_F(EvalPaths, PathCallsAndSetPathsAgree) {
    static const Case cases[] = {
        // Refinements of natives, actions and functions, used or not.
        {"", "reduce [copy/part \"abcdef\" 2 find/last \"a/b/c\" \"/\" append/only/dup [] [1] 2]",
         "value [\"ab\" \"/c\" [[1] [1]]]"},
        {"", "part: false only: true reduce [copy/:part \"abc\" 2 append/:only/dup [] [1] 2]",
         "value [\"abc\" [[1] [1]]]"},
        {"f: func [a /r x y /s z] [reduce [a r x y s z]]", "r: false reduce [f/:r/s 1 2 3 4 f/s/:r 1 5 6 7]",
         "value [[1 #(false) 2 3 #(true) 4] [1 #(false) 6 7 #(true) 5]]"},
        {"f: func [a /r x [integer!] return: [block!] /local l] [reduce [a r x l]]", "f/r 1 2 + 3",
         "value [1 #(true) 5 #(none)]"},
        // Their errors: not a word, not a refinement, given twice, missing or mistyped arguments.
        {"", "append/1 [] 2", "invalid refinement"},
        {"", "append/nope [] 2", "has no refinement called nope"},
        {"", "append/only/dup/only [] 1 2", "duplicate refinement"},
        {"f: func [a /r x] [x]", "f/a 1", "has no refinement called a"},
        {"", "copy/part \"abc\"", "is missing its"},
        {"f: func [a /r x [integer!]] [x]", "f/r 1 \"two\"", "does not allow string! for its x"},
        {"", "part: 'x copy/:part \"abc\" 1", "value \"a\""},
        {"", "unset 'part copy/:part \"abc\" 1", "value"},
        {"", "copy/:part/part \"abc\" 1", "duplicate refinement"},
        // Methods of objects, with refinements, recursive, collected while running.
        {"o: object [n: 10 f: func [x /y z] [reduce [x y z n]]]", "reduce [o/f 1 o/f/y 2 3]",
         "value [[1 #(false) #(none) 10] [2 #(true) 3 10]]"},
        {"o: object [sum: func [n /acc a] [either n = 0 [a] [o/sum/acc n - 1 n + any [a 0]]]]",
         "o/sum/acc 100 0", "value 5050"},
        {"f: func [n /r x] [recycle either n = 0 [x] [f/r n - 1 x + n]]", "f/r 20 0", "value 210"},
        // Exits from a refinement's argument, and from a set-path's value.
        {"", "f: func [] [append/only [] return 5] f", "value 5"},
        {"", "f: func [] [copy/part \"abc\" return 6] f", "value 6"},
        {"", "n: 0 loop 3 [n: n + 1 append/dup [] 1 break] n", "value 1"},
        {"", "o: object [a: 1] f: func [] [o/a: return 7] reduce [f o/a]", "value [7 1]"},
        // A path changed while its refinements' arguments are fetched.
        {"", "p: to path! [append only] b: [] do compose [(p) b (to paren! [clear next p [1]])] b", "value [1]"},
        // Set-paths: objects, blocks, nested, errors.
        {"", "o: object [a: 1 b: [1 2]] o/a: o/a + 1 o/b/2: 5 reduce [o/a o/b]", "value [2 [1 5]]"},
        {"", "x: y: o: object [a: 1] x/a: y/a: 9 reduce [o/a x/a: 3]", "value [9 3]"},
        {"", "o: object [a: 1] o/zz: 1", "Script Error"},
        {"", "b: [1 2] b/(1 + 1): 7 b", "value [1 7]"},
        {"", "o: object [a: 1] o/a:", "needs a value"},
        {"", "o: object [a: 1] o/a: ()", "value #(unset)"},
        {"", "f: func [] [o: object [a: 1] o/a: 1 + none] f", "*** Stack: "},
        // Fields of objects read and stored through chains of objects.
        {"", "o: object [p: object [q: object [a: 1]] n: none] o/p/q/a: o/p/q/a + 1 reduce [o/p/q/a :o/p/q/a o/n]",
         "value [2 2 #(none)]"},
        {"", "o: object [p: 5] o/p/x", "Script Error"},
        {"", "o: object [p: 5] o/p/x: 1", "Script Error"},
        {"", "o: object [a: 1] o/b", "Script Error"},
        {"", "o: object [a: 1] o/b: 2", "Script Error"},
        {"", "o: object [u: 1] unset in o 'u o/u", "Script Error"},
        {"", "o: object [a: 1] o/self: 1", "Script Error"},
        {"", "o: object [a: 1] o/self", "Script Error"},
        {"", "o: object [a: 1] p: make o [b: 2] p/b: p/b + p/a reduce [o/a p/b]", "value [1 3]"},
        {"", "o: object [a: 1 f: does [a * 10]] reduce [o/f :o/f]", "value [10"},
        {"", "log: copy [] o: object [a: 1 on-change*: func [w old new] [append log reduce [w old new]]] "
             "o/a: 5 reduce [o/a log]",
         "value [5 [a 1 5]]"},
        {"", "b: reduce [object [a: 1]] b/1/a: 3 b/1/a", "value 3"},
        // Values of blocks picked by an integer, a function among them called.
        {"", "b: [10 20 30] c: next b reduce [b/1 b/3 b/4 b/0 b/-1 c/1 c/-1 c/0 :b/2]",
         "value [10 30 #(none) #(none) #(none) 20 #(none) #(none) 20]"},
        {"", "b: reduce [:add 1] b/1 2 3", "value 5"},
        {"", "b: reduce [does [7]] reduce [b/1 type? :b/1]", "value [7 #(function!)]"},
        {"", "b: [[1 2] 3] reduce [b/1/2 b/2]", "value [2 3]"},
        {"", "h: make hash! [a 1 b 2] p: quote (1 2) reduce [h/b h/2 p/2]", "value [2 1 2]"},
        {"", "b: [1 2] x: none b/2 + x", "Script Error"},
        {"", "f: func [o] [o/a: o/a * 2] x: object [a: 4] f x x/a", "value 8"},
    };
    for (const Case& c : cases) expect_shows(c);
}

TEST_F(EvalPaths, RecursionToTheFrameLimitAgrees) {
    // Same depth, same error, same frames left on both paths.
    std::string shown = both("deep: func [n] [deep n + 1]", "deep 1");
    EXPECT_NE(shown.find("stack overflow"), std::string::npos) << shown;
    shown = both("down: func [n] [either n = 0 [0] [1 + down n - 1]]", "down 400");
    EXPECT_NE(shown.find("value 400"), std::string::npos) << shown;
    shown = both("o: object [deep: func [n /by k] [o/deep/by n + 1 1]]", "o/deep 1");
    EXPECT_NE(shown.find("stack overflow"), std::string::npos) << shown;

}

}  // namespace
}  // namespace qor
