// Cell and series primitives.
#include "runtime/series.hpp"

#include <cstring>

namespace qor::series_buffer {

Cell* alloc_tail_cell(SeriesBuffer* buffer) {
    if (buffer->tail + sizeof(Cell) > buffer->data_end()) {
        // Doubling an empty buffer would ask for nothing: give it one cell.
        buffer = memory::expand_series(buffer, buffer->capacity ? 0 : sizeof(Cell));
    }
    Cell* c = reinterpret_cast<Cell*>(buffer->tail);
    c->header = TYPE_UNSET;
    buffer->tail += sizeof(Cell);
    return c;
}

uint8_t* alloc_tail_bytes(SeriesBuffer* buffer, uint32_t n) {
    uint64_t needed = uint64_t(buffer->tail - buffer->data()) + n;
    if (needed > buffer->capacity) {
        uint32_t grow = n > buffer->capacity ? memory::checked_mul(n, 2) : 0;
        buffer = memory::expand_series(buffer, grow);
    }
    uint8_t* at = buffer->tail;
    buffer->tail += n;
    return at;
}

}  // namespace qor::series_buffer

namespace qor::block_buffer {

Cell* alloc_tail(Cell* block) { return series_buffer::alloc_tail_cell(buffer_of(cell_node(block))); }

}  // namespace qor::block_buffer

namespace qor::series {

Node copy_units(Node node, uint32_t offset, uint32_t count) {
    uint32_t unit = buffer_of(node)->unit() ? buffer_of(node)->unit() : 1;
    uint32_t bytes = memory::checked_mul(count, unit);
    Node copy = memory::alloc_bytes(bytes);
    // The allocation may have moved the source.
    SeriesBuffer* source = buffer_of(node);
    SeriesBuffer* target = buffer_of(copy);
    uint64_t start = uint64_t(offset) * unit;
    uint32_t available = start < source->byte_length() ? source->byte_length() - uint32_t(start) : 0;
    if (bytes > available) bytes = available;
    target->flags = (source->flags & ~(SERIES_OWNED | SERIES_BIG | SERIES_FIXED | SERIES_MARK | SERIES_PINNED)) |
                    (target->flags & (SERIES_BIG | SERIES_FIXED));
    if (bytes) std::memcpy(target->head, source->head + start, bytes);
    target->tail = target->head + bytes;
    return copy;
}

}  // namespace qor::series

namespace qor::context {

Node word_list_node(const Cell* record) {
    Node table = reinterpret_cast<Node>(record->data1);
    const uint32_t* words = reinterpret_cast<const uint32_t*>(buffer_of(table)->head);
    return reinterpret_cast<Node>(words[5]);
}

SeriesBuffer* word_list_buffer(const Cell* record) { return buffer_of(word_list_node(record)); }

Cell* word_at(const Cell* record, uint32_t index) { return cells_head(word_list_buffer(record)) + index; }

}  // namespace qor::context
