// Registration of the natives in table order (see natives.hpp).
#include "evaluator/natives.hpp"

#include "datatypes/block.hpp"
#include "evaluator/natives_table.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/root_block.hpp"

namespace qor::natives {

namespace {

uint32_t g_print_index = 0;
uint32_t g_print_generation = 0;

void init_print_block() {
    if (!root_block::exists()) root_block::make();
    Cell scratch = block::make(32);
    gc::CellRoot keep(&scratch);
    root_block::append(&scratch);
    g_print_index = root_block::length() - 1;
    g_print_generation = memory::generation();
}

// ORDER NATIVES
uintptr_t entry(int32_t (*fn)(bool, const int32_t*)) { return reinterpret_cast<uintptr_t>(fn); }

}  // namespace

Cell* print_block() {
    if (g_print_generation != memory::generation() || !root_block::exists() ||
        g_print_index >= root_block::length())
        return nullptr;
    return root_block::cell_at(g_print_index);
}

void init() {
    init_table();
    init_print_block();
    const uintptr_t entries[NATIVE_COUNT] = {
        entry(if_star),
        entry(unless_star),
        entry(either_star),
        entry(any_star),
        entry(all_star),
        entry(while_star),
        entry(until_star),
        entry(loop_star),
        entry(repeat_star),
        entry(forever_star),
        entry(foreach_star),
        entry(forall_star),
        entry(remove_each_star),
        entry(func_star),
        entry(function_star),
        entry(does_star),
        entry(has_star),
        entry(switch_star),
        entry(case_star),
        entry(do_star),
        entry(get_star),
        entry(set_star),
        entry(print_star),
        entry(prin_star),
        entry(equal_q_star),
        entry(not_equal_q_star),
        entry(strict_equal_q_star),
        entry(lesser_q_star),
        entry(greater_q_star),
        entry(lesser_or_equal_q_star),
        entry(greater_or_equal_q_star),
        entry(same_q_star),
        entry(not_star),
        entry(type_q_star),
        entry(reduce_star),
        entry(compose_star),
        entry(stats_star),
        entry(bind_star),
        entry(in_star),
        entry(parse_star),
        entry(union_star),
        entry(intersect_star),
        entry(unique_star),
        entry(difference_star),
        entry(exclude_star),
        entry(complement_q_star),
        entry(dehex_star),
        entry(enhex_star),
        entry(negative_q_star),
        entry(positive_q_star),
        entry(max_star),
        entry(min_star),
        entry(shift_star),
        entry(to_hex_star),
        entry(sine_star),
        entry(cosine_star),
        entry(tangent_star),
        entry(arcsine_star),
        entry(arccosine_star),
        entry(arctangent_star),
        entry(arctangent2_star),
        entry(nan_q_star),
        entry(log_2_star),
        entry(log_10_star),
        entry(log_e_star),
        entry(exp_star),
        entry(square_root_star),
        entry(construct_star),
        entry(value_q_star),
        entry(try_star),
        entry(uppercase_star),
        entry(lowercase_star),
        entry(as_pair_star),
        entry(as_point2d_star),
        entry(as_point3d_star),
        entry(as_money_star),
        entry(break_star),
        entry(continue_star),
        entry(exit_star),
        entry(return_star),
        entry(throw_star),
        entry(catch_star),
        entry(extend_star),
        entry(debase_star),
        entry(to_local_file_star),
        entry(wait_star),
        entry(checksum_star),
        entry(unset_star),
        entry(new_line_star),
        entry(new_line_q_star),
        entry(enbase_star),
        entry(context_q_star),
        entry(set_env_star),
        entry(get_env_star),
        entry(list_env_star),
        entry(now_star),
        entry(sign_q_star),
        entry(as_star),
        entry(call_star),
        entry(zero_q_star),
        entry(size_q_star),
        entry(browse_star),
        entry(compress_star),
        entry(decompress_star),
        entry(recycle_star),
        entry(transcode_star),
        entry(apply_star),
    };
    register_entries(NATIVE_COUNT, entries);
}

}  // namespace qor::natives
