#include "runtime/throw.hpp"

#include "runtime/runtime_record.hpp"

namespace qor {

namespace runtime {
static Record the_record{};
Record* const record = &the_record;
}  // namespace runtime

void system_throw(uint32_t code) {
    runtime::record->thrown = code;
    runtime::record->throw_address = uintptr_t(__builtin_return_address(0));
    throw Thrown{code};
}

void set_thrown(uint32_t code) { runtime::record->thrown = code; }

}  // namespace qor
