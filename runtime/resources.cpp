// The resource registry.
#include "runtime/resources.hpp"

#include "runtime/heap.hpp"

#include <cstring>

namespace qor::resource_types {

namespace {
constexpr int32_t TYPES_INITIAL = 20;
}

// Shared with the table below.
ResourceType* types = nullptr;
int32_t type_count = 0;
int32_t type_capacity = 0;

int32_t register_type(const char* name, ReleaseFn release) {
    if (type_count == type_capacity) {
        // The registry starts with room for 20 types and grows beyond.
        int32_t cap = type_capacity ? type_capacity * 2 : TYPES_INITIAL;
        types = static_cast<ResourceType*>(heap::realloc(types, size_t(cap) * sizeof(ResourceType)));
        type_capacity = cap;
    }
    types[type_count] = ResourceType{name, release};
    return ++type_count;
}

int32_t count() { return type_count; }

}  // namespace qor::resource_types

namespace qor::resource_table {

namespace {

constexpr uint32_t RECORDS_INITIAL = 1000;

Entry*   records = nullptr;
uint32_t record_capacity = 0;
uint32_t free_head = LIST_END;
uint32_t used_head = LIST_END;

void chain_free(uint32_t from, uint32_t to) {
    for (uint32_t i = from; i < to; i++) records[i] = Entry{ENTRY_FREE, 0, i + 1 < to ? i + 1 : LIST_END};
}

bool is_used(int32_t index) {
    return index >= 0 && uint32_t(index) < record_capacity && records[index].type != ENTRY_FREE;
}

void grow() {
    uint32_t old = record_capacity;
    records = static_cast<Entry*>(heap::realloc(records, size_t(old) * 2 * sizeof(Entry)));
    record_capacity = old * 2;
    chain_free(old, old * 2);
}

}  // namespace

void init() {
    release();
    resource_types::types =
        static_cast<resource_types::ResourceType*>(heap::alloc_zero(20 * sizeof(resource_types::ResourceType)));
    resource_types::type_capacity = 20;
    resource_types::type_count = 0;
    records = static_cast<Entry*>(heap::alloc(RECORDS_INITIAL * sizeof(Entry)));
    record_capacity = RECORDS_INITIAL;
    chain_free(0, RECORDS_INITIAL);
    free_head = 0;
    used_head = LIST_END;
}

void release() {
    heap::free(records);
    records = nullptr;
    record_capacity = 0;
    free_head = used_head = LIST_END;
    heap::free(resource_types::types);
    resource_types::types = nullptr;
    resource_types::type_count = resource_types::type_capacity = 0;
}

bool initialised() { return records != nullptr; }

int32_t alloc_record(uint32_t handle, uint32_t type_index) {
    if (!records) init();
    uint32_t index = free_head;
    if (records[index].next == LIST_END) {
        // The last free record: double first, and chain the new half behind it.
        uint32_t first_new = record_capacity;
        grow();
        records[index].next = first_new;
    }
    free_head = records[index].next;
    records[index] = Entry{type_index & 0xFFu, handle, used_head};
    used_head = index;
    return int32_t(index);
}

void release_handle(uint32_t type_word, uint32_t handle) {
    int32_t t = int32_t(type_word & 0xFFu);
    if (t < 1 || t > resource_types::type_count) return;
    resource_types::ReleaseFn release = resource_types::types[t - 1].release;
    if (release) release(handle);
}

void set_handle(int32_t index, uint32_t handle) {
    if (!is_used(index)) return;
    Entry& e = records[index];
    if (e.handle != handle) {
        uint32_t old = e.handle;
        e.handle = handle;
        release_handle(e.type, old);
    }
}

int32_t free_record(int32_t index, bool release) {
    if (!is_used(index)) return -1;
    if (release) release_handle(records[index].type, records[index].handle);
    uint32_t i = uint32_t(index);
    if (used_head == i) {
        used_head = records[i].next;
    } else {
        for (uint32_t p = used_head; p != LIST_END; p = records[p].next) {
            if (records[p].next == i) {
                records[p].next = records[i].next;
                break;
            }
        }
    }
    records[i] = Entry{ENTRY_FREE, 0, free_head};
    free_head = i;
    return -1;
}

bool mark(int32_t index, uint32_t replacement) {
    if (!is_used(index)) return false;
    Entry& e = records[index];
    if (replacement) e.handle = replacement;
    bool fresh = !(e.type & ENTRY_MARK);
    e.type |= ENTRY_MARK;
    return fresh;
}

void for_each_of_type(uint32_t type_index, void (*callback)(uint32_t handle)) {
    for (uint32_t p = used_head; p != LIST_END; p = records[p].next)
        if ((records[p].type & 0xFFu) == type_index) callback(records[p].handle);
}

void sweep() {
    uint32_t prev = LIST_END;
    for (uint32_t p = used_head; p != LIST_END;) {
        Entry& e = records[p];
        uint32_t next = e.next;
        if (e.type & ENTRY_MARK) {
            e.type &= ~ENTRY_MARK;
            prev = p;
        } else {
            uint32_t type = e.type, handle = e.handle;
            if (prev == LIST_END) used_head = next;
            else records[prev].next = next;
            records[p] = Entry{ENTRY_FREE, 0, free_head};
            free_head = p;
            // Released last: the callback may use the registry itself.
            release_handle(type, handle);
        }
        p = next;
    }
}

uint32_t capacity() { return record_capacity; }

const Entry* entry(int32_t index) {
    return index >= 0 && uint32_t(index) < record_capacity ? &records[index] : nullptr;
}

uint32_t used_count() {
    uint32_t n = 0;
    for (uint32_t p = used_head; p != LIST_END; p = records[p].next) n++;
    return n;
}

}  // namespace qor::resource_table

namespace qor::variant {

void init(void* buffer) { std::memset(buffer, 0, 16); }

}  // namespace qor::variant
