// The runtime record: the process-wide words that start-up, the catch
// mechanism, the fatal report and the tracked heap share.
#pragma once
#include <cstdint>

namespace qor::heap { struct Block; }

namespace qor::runtime {

// Where the machine stood when a fatal condition was detected.
struct FaultPosition {
    uintptr_t stack;   // stack position
    uintptr_t frame;   // saved frame pointer
};
static_assert(sizeof(FaultPosition) == 8);

// Where the executable lies in memory and where its frame-info block is.
struct ModuleRecord {
    uint32_t image_base;
    uint32_t code_start;
    uint32_t code_size;
    uint32_t data_start;
    uint32_t data_size;
    uint32_t frame_info;
};
static_assert(sizeof(ModuleRecord) == 24);

struct Record {
    int32_t        argc;
    char**         argv;            // argc + 1 entries, the last null; on the tracked heap
    uint32_t       zero;            // cleared together with argc and argv
    uint32_t       thrown;          // the code in flight; the catching code clears it
    const void*    boot_payload;
    FaultPosition* fault_position;  // null until a fault position is recorded
    ModuleRecord*  module;
    heap::Block*   heap_head;       // first block of the tracked heap
    void*          outermost_catch; // set while the outermost catch frame is open
    uintptr_t      throw_address;   // where the last system throw came from
};

// The one record, reached through this pointer.
extern Record* const record;

}  // namespace qor::runtime
