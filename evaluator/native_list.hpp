// The natives, written once.  ORDER NATIVES
//
// X(c_name, index, "spelling") per native, in table order.  The index is
// the native's 1-based position in the natives table: never renumber.
// c_name is its C++ entry point in qor::natives (natives.hpp gives the
// naming rule).
//
// Expanded into the entry declarations (natives.hpp), the registration of
// the entries (natives_init.cpp) and the name table that start-up binds the
// native words by (boot/payload.cpp).  boot/natives.qor holds the natives'
// specs under the same spellings.
#pragma once

#define QOR_NATIVE_LIST(X)                                          \
    X(if_star,                  1,   "if")                          \
    X(unless_star,              2,   "unless")                      \
    X(either_star,              3,   "either")                      \
    X(any_star,                 4,   "any")                         \
    X(all_star,                 5,   "all")                         \
    X(while_star,               6,   "while")                       \
    X(until_star,               7,   "until")                       \
    X(loop_star,                8,   "loop")                        \
    X(repeat_star,              9,   "repeat")                      \
    X(forever_star,             10,  "forever")                     \
    X(foreach_star,             11,  "foreach")                     \
    X(forall_star,              12,  "forall")                      \
    X(remove_each_star,         13,  "remove-each")                 \
    X(func_star,                14,  "func")                        \
    X(function_star,            15,  "function")                    \
    X(does_star,                16,  "does")                        \
    X(has_star,                 17,  "has")                         \
    X(switch_star,              18,  "switch")                      \
    X(case_star,                19,  "case")                        \
    X(do_star,                  20,  "do")                          \
    X(get_star,                 21,  "get")                         \
    X(set_star,                 22,  "set")                         \
    X(print_star,               23,  "print")                       \
    X(prin_star,                24,  "prin")                        \
    X(equal_q_star,             25,  "equal?")                      \
    X(not_equal_q_star,         26,  "not-equal?")                  \
    X(strict_equal_q_star,      27,  "strict-equal?")               \
    X(lesser_q_star,            28,  "lesser?")                     \
    X(greater_q_star,           29,  "greater?")                    \
    X(lesser_or_equal_q_star,   30,  "lesser-or-equal?")            \
    X(greater_or_equal_q_star,  31,  "greater-or-equal?")           \
    X(same_q_star,              32,  "same?")                       \
    X(not_star,                 33,  "not")                         \
    X(type_q_star,              34,  "type?")                       \
    X(reduce_star,              35,  "reduce")                      \
    X(compose_star,             36,  "compose")                     \
    X(stats_star,               37,  "stats")                       \
    X(bind_star,                38,  "bind")                        \
    X(in_star,                  39,  "in")                          \
    X(parse_star,               40,  "parse")                       \
    X(union_star,               41,  "union")                       \
    X(intersect_star,           42,  "intersect")                   \
    X(unique_star,              43,  "unique")                      \
    X(difference_star,          44,  "difference")                  \
    X(exclude_star,             45,  "exclude")                     \
    X(complement_q_star,        46,  "complement?")                 \
    X(dehex_star,               47,  "dehex")                       \
    X(enhex_star,               48,  "enhex")                       \
    X(negative_q_star,          49,  "negative?")                   \
    X(positive_q_star,          50,  "positive?")                   \
    X(max_star,                 51,  "max")                         \
    X(min_star,                 52,  "min")                         \
    X(shift_star,               53,  "shift")                       \
    X(to_hex_star,              54,  "to-hex")                      \
    X(sine_star,                55,  "sine")                        \
    X(cosine_star,              56,  "cosine")                      \
    X(tangent_star,             57,  "tangent")                     \
    X(arcsine_star,             58,  "arcsine")                     \
    X(arccosine_star,           59,  "arccosine")                   \
    X(arctangent_star,          60,  "arctangent")                  \
    X(arctangent2_star,         61,  "arctangent2")                 \
    X(nan_q_star,               62,  "NaN?")                        \
    X(log_2_star,               63,  "log-2")                       \
    X(log_10_star,              64,  "log-10")                      \
    X(log_e_star,               65,  "log-e")                       \
    X(exp_star,                 66,  "exp")                         \
    X(square_root_star,         67,  "square-root")                 \
    X(construct_star,           68,  "construct")                   \
    X(value_q_star,             69,  "value?")                      \
    X(try_star,                 70,  "try")                         \
    X(uppercase_star,           71,  "uppercase")                   \
    X(lowercase_star,           72,  "lowercase")                   \
    X(as_pair_star,             73,  "as-pair")                     \
    X(as_point2d_star,          74,  "as-point2D")                  \
    X(as_point3d_star,          75,  "as-point3D")                  \
    X(as_money_star,            76,  "as-money")                    \
    X(break_star,               77,  "break")                       \
    X(continue_star,            78,  "continue")                    \
    X(exit_star,                79,  "exit")                        \
    X(return_star,              80,  "return")                      \
    X(throw_star,               81,  "throw")                       \
    X(catch_star,               82,  "catch")                       \
    X(extend_star,              83,  "extend")                      \
    X(debase_star,              84,  "debase")                      \
    X(to_local_file_star,       85,  "to-local-file")               \
    X(wait_star,                86,  "wait")                        \
    X(checksum_star,            87,  "checksum")                    \
    X(unset_star,               88,  "unset")                       \
    X(new_line_star,            89,  "new-line")                    \
    X(new_line_q_star,          90,  "new-line?")                   \
    X(enbase_star,              91,  "enbase")                      \
    X(context_q_star,           92,  "context?")                    \
    X(set_env_star,             93,  "set-env")                     \
    X(get_env_star,             94,  "get-env")                     \
    X(list_env_star,            95,  "list-env")                    \
    X(now_star,                 96,  "now")                         \
    X(sign_q_star,              97,  "sign?")                       \
    X(as_star,                  98,  "as")                          \
    X(call_star,                99,  "call")                        \
    X(zero_q_star,              100, "zero?")                       \
    X(size_q_star,              101, "size?")                       \
    X(browse_star,              102, "browse")                      \
    X(compress_star,            103, "compress")                    \
    X(decompress_star,          104, "decompress")                  \
    X(recycle_star,             105, "recycle")                     \
    X(transcode_star,           106, "transcode")                   \
    X(apply_star,               107, "apply")
