// The natives: the built-in functions implemented inside the runtime.  Each
// entry point follows the NativeFn convention of evaluator/call.hpp: it takes
// the check flag and one position per refinement, finds its arguments on the
// argument stack from the arguments base and leaves its result in the result
// slot (the arguments base); it answers 0, or for `try` and `do` called from
// compiled code, a pending exit code that caller must continue.
//
// C++ names: the word in lower case, '-' -> '_', '?' -> "_q", then "_star"
// for the word's trailing '*' (`if*` -> if_star, `equal?*` -> equal_q_star,
// `to-hex*` -> to_hex_star, `NaN?*` -> nan_q_star).
//
// Files: natives_control.cpp (the control natives, do, try, catch, throw and
// the exits), natives_compose.cpp (reduce, compose), natives_func.cpp (func,
// function, does, has), parse.cpp (parse); the others by family in
// natives_*.cpp.
//
// ORDER NATIVES: the declarations below follow the table order (1-based
// index in the comment); natives_init.cpp registers them in the same order.
#pragma once
#include <cstdint>

#include "datatypes/cell.hpp"

namespace qor::natives {

// Allocates the natives table and the print block, then registers all 107
// entry points in table order.  Called once at start-up after the global
// context and the symbol table exist.
void init();

// The 32-cell block inside the root block into which print and prin reduce
// a block argument; null before init (or after a new memory::init).  The
// cell stays put (the root block's buffer does not move).
Cell* print_block();

int32_t if_star(bool check, const int32_t* refinements);   // 1 if
int32_t unless_star(bool check, const int32_t* refinements);   // 2 unless
int32_t either_star(bool check, const int32_t* refinements);   // 3 either
int32_t any_star(bool check, const int32_t* refinements);   // 4 any
int32_t all_star(bool check, const int32_t* refinements);   // 5 all
int32_t while_star(bool check, const int32_t* refinements);   // 6 while
int32_t until_star(bool check, const int32_t* refinements);   // 7 until
int32_t loop_star(bool check, const int32_t* refinements);   // 8 loop
int32_t repeat_star(bool check, const int32_t* refinements);   // 9 repeat
int32_t forever_star(bool check, const int32_t* refinements);   // 10 forever
int32_t foreach_star(bool check, const int32_t* refinements);   // 11 foreach
int32_t forall_star(bool check, const int32_t* refinements);   // 12 forall
int32_t remove_each_star(bool check, const int32_t* refinements);   // 13 remove-each
int32_t func_star(bool check, const int32_t* refinements);   // 14 func
int32_t function_star(bool check, const int32_t* refinements);   // 15 function
int32_t does_star(bool check, const int32_t* refinements);   // 16 does
int32_t has_star(bool check, const int32_t* refinements);   // 17 has
int32_t switch_star(bool check, const int32_t* refinements);   // 18 switch
int32_t case_star(bool check, const int32_t* refinements);   // 19 case
int32_t do_star(bool check, const int32_t* refinements);   // 20 do
int32_t get_star(bool check, const int32_t* refinements);   // 21 get
int32_t set_star(bool check, const int32_t* refinements);   // 22 set
int32_t print_star(bool check, const int32_t* refinements);   // 23 print
int32_t prin_star(bool check, const int32_t* refinements);   // 24 prin
int32_t equal_q_star(bool check, const int32_t* refinements);   // 25 equal?
int32_t not_equal_q_star(bool check, const int32_t* refinements);   // 26 not-equal?
int32_t strict_equal_q_star(bool check, const int32_t* refinements);   // 27 strict-equal?
int32_t lesser_q_star(bool check, const int32_t* refinements);   // 28 lesser?
int32_t greater_q_star(bool check, const int32_t* refinements);   // 29 greater?
int32_t lesser_or_equal_q_star(bool check, const int32_t* refinements);   // 30 lesser-or-equal?
int32_t greater_or_equal_q_star(bool check, const int32_t* refinements);   // 31 greater-or-equal?
int32_t same_q_star(bool check, const int32_t* refinements);   // 32 same?
int32_t not_star(bool check, const int32_t* refinements);   // 33 not
int32_t type_q_star(bool check, const int32_t* refinements);   // 34 type?
int32_t reduce_star(bool check, const int32_t* refinements);   // 35 reduce
int32_t compose_star(bool check, const int32_t* refinements);   // 36 compose
int32_t stats_star(bool check, const int32_t* refinements);   // 37 stats
int32_t bind_star(bool check, const int32_t* refinements);   // 38 bind
int32_t in_star(bool check, const int32_t* refinements);   // 39 in
int32_t parse_star(bool check, const int32_t* refinements);   // 40 parse
int32_t union_star(bool check, const int32_t* refinements);   // 41 union
int32_t intersect_star(bool check, const int32_t* refinements);   // 42 intersect
int32_t unique_star(bool check, const int32_t* refinements);   // 43 unique
int32_t difference_star(bool check, const int32_t* refinements);   // 44 difference
int32_t exclude_star(bool check, const int32_t* refinements);   // 45 exclude
int32_t complement_q_star(bool check, const int32_t* refinements);   // 46 complement?
int32_t dehex_star(bool check, const int32_t* refinements);   // 47 dehex
int32_t enhex_star(bool check, const int32_t* refinements);   // 48 enhex
int32_t negative_q_star(bool check, const int32_t* refinements);   // 49 negative?
int32_t positive_q_star(bool check, const int32_t* refinements);   // 50 positive?
int32_t max_star(bool check, const int32_t* refinements);   // 51 max
int32_t min_star(bool check, const int32_t* refinements);   // 52 min
int32_t shift_star(bool check, const int32_t* refinements);   // 53 shift
int32_t to_hex_star(bool check, const int32_t* refinements);   // 54 to-hex
int32_t sine_star(bool check, const int32_t* refinements);   // 55 sine
int32_t cosine_star(bool check, const int32_t* refinements);   // 56 cosine
int32_t tangent_star(bool check, const int32_t* refinements);   // 57 tangent
int32_t arcsine_star(bool check, const int32_t* refinements);   // 58 arcsine
int32_t arccosine_star(bool check, const int32_t* refinements);   // 59 arccosine
int32_t arctangent_star(bool check, const int32_t* refinements);   // 60 arctangent
int32_t arctangent2_star(bool check, const int32_t* refinements);   // 61 arctangent2
int32_t nan_q_star(bool check, const int32_t* refinements);   // 62 NaN?
int32_t log_2_star(bool check, const int32_t* refinements);   // 63 log-2
int32_t log_10_star(bool check, const int32_t* refinements);   // 64 log-10
int32_t log_e_star(bool check, const int32_t* refinements);   // 65 log-e
int32_t exp_star(bool check, const int32_t* refinements);   // 66 exp
int32_t square_root_star(bool check, const int32_t* refinements);   // 67 square-root
int32_t construct_star(bool check, const int32_t* refinements);   // 68 construct
int32_t value_q_star(bool check, const int32_t* refinements);   // 69 value?
int32_t try_star(bool check, const int32_t* refinements);   // 70 try
int32_t uppercase_star(bool check, const int32_t* refinements);   // 71 uppercase
int32_t lowercase_star(bool check, const int32_t* refinements);   // 72 lowercase
int32_t as_pair_star(bool check, const int32_t* refinements);   // 73 as-pair
int32_t as_point2d_star(bool check, const int32_t* refinements);   // 74 as-point2D
int32_t as_point3d_star(bool check, const int32_t* refinements);   // 75 as-point3D
int32_t as_money_star(bool check, const int32_t* refinements);   // 76 as-money
int32_t break_star(bool check, const int32_t* refinements);   // 77 break
int32_t continue_star(bool check, const int32_t* refinements);   // 78 continue
int32_t exit_star(bool check, const int32_t* refinements);   // 79 exit
int32_t return_star(bool check, const int32_t* refinements);   // 80 return
int32_t throw_star(bool check, const int32_t* refinements);   // 81 throw
int32_t catch_star(bool check, const int32_t* refinements);   // 82 catch
int32_t extend_star(bool check, const int32_t* refinements);   // 83 extend
int32_t debase_star(bool check, const int32_t* refinements);   // 84 debase
int32_t to_local_file_star(bool check, const int32_t* refinements);   // 85 to-local-file
int32_t wait_star(bool check, const int32_t* refinements);   // 86 wait
int32_t checksum_star(bool check, const int32_t* refinements);   // 87 checksum
int32_t unset_star(bool check, const int32_t* refinements);   // 88 unset
int32_t new_line_star(bool check, const int32_t* refinements);   // 89 new-line
int32_t new_line_q_star(bool check, const int32_t* refinements);   // 90 new-line?
int32_t enbase_star(bool check, const int32_t* refinements);   // 91 enbase
int32_t context_q_star(bool check, const int32_t* refinements);   // 92 context?
int32_t set_env_star(bool check, const int32_t* refinements);   // 93 set-env
int32_t get_env_star(bool check, const int32_t* refinements);   // 94 get-env
int32_t list_env_star(bool check, const int32_t* refinements);   // 95 list-env
int32_t now_star(bool check, const int32_t* refinements);   // 96 now
int32_t sign_q_star(bool check, const int32_t* refinements);   // 97 sign?
int32_t as_star(bool check, const int32_t* refinements);   // 98 as
int32_t call_star(bool check, const int32_t* refinements);   // 99 call
int32_t zero_q_star(bool check, const int32_t* refinements);   // 100 zero?
int32_t size_q_star(bool check, const int32_t* refinements);   // 101 size?
int32_t browse_star(bool check, const int32_t* refinements);   // 102 browse
int32_t compress_star(bool check, const int32_t* refinements);   // 103 compress
int32_t decompress_star(bool check, const int32_t* refinements);   // 104 decompress
int32_t recycle_star(bool check, const int32_t* refinements);   // 105 recycle
int32_t transcode_star(bool check, const int32_t* refinements);   // 106 transcode
int32_t apply_star(bool check, const int32_t* refinements);   // 107 apply

constexpr uint32_t NATIVE_COUNT = 107;

// Compiled code's own try, after it caught an error: the error is the top
// value of the argument stack; with `keep` the call stack is captured into
// it; an error of type and id `throw` (a throw that found no catch) is raised
// again, any other becomes the result.
void try_caught(bool keep);

}  // namespace qor::natives
