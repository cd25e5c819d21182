// The resource registry: operating-system handles held by values (bitmaps,
// fonts, COM objects, text layouts) are released when no value refers to
// them any more.  A value stores the index of a small record, not the handle;
// the collector marks the records that live values reach and then sweeps the
// others, releasing each through the release callback of its resource type.
#pragma once
#include <cstdint>

namespace qor::resource_types {

using ReleaseFn = void (*)(uint32_t handle);

struct ResourceType {
    const char* name;
    ReleaseFn   release;
};

// Appends a type and answers its 1-based index.
int32_t register_type(const char* name, ReleaseFn release);
int32_t count();

}  // namespace qor::resource_types

namespace qor::resource_table {

// Type word: bits 0-7 the type index, ENTRY_MARK the collector's mark; a
// free record holds exactly ENTRY_FREE.  `next` links a record into the
// free list or the used list; LIST_END ends a list.
enum : uint32_t {
    ENTRY_MARK = 0x80000000u,
    ENTRY_FREE = 0x40000000u,
    LIST_END   = 0xFFFFFFFFu,
};

struct Entry {
    uint32_t type;
    uint32_t handle;
    uint32_t next;
};
static_assert(sizeof(Entry) == 12);

void init();         // 20 types, 1000 records, all free
void release();      // drops both tables (tests)
bool initialised();

int32_t alloc_record(uint32_t handle, uint32_t type_index);
// Stores a new handle; a different old one is released first.
void    set_handle(int32_t index, uint32_t handle);
// With `release`, the handle is released first; the record becomes free.
// Answers -1 (the value callers store back as "no record").
int32_t free_record(int32_t index, bool release);
// Collector: sets the mark; a non-zero replacement replaces the handle.
// True when the record was not marked yet.  Indexes that name no used
// record are ignored.
bool    mark(int32_t index, uint32_t replacement);
void    for_each_of_type(uint32_t type_index, void (*callback)(uint32_t handle));
void    release_handle(uint32_t type_word, uint32_t handle);
void    sweep();  // collector phase, after marking

// Introspection for statistics and tests.
uint32_t     capacity();
const Entry* entry(int32_t index);
uint32_t     used_count();

}  // namespace qor::resource_table

namespace qor::variant {

// Zero-fills a 16-byte buffer, which makes it an empty OS VARIANT.
void init(void* buffer);

}  // namespace qor::variant
