// The portable side of the clipboard: values to content and back.
#include "services/clipboard.hpp"

#include "datatypes/block.hpp"
#include "datatypes/image_backend.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "services/files.hpp"

#include <algorithm>

namespace qor::clipboard {

namespace {

void* owner = nullptr;

[[noreturn]] void invalid(const Cell* value) {
    Cell bad = *value;
    gc::CellRoot keep(&bad);
    raise_error("script", "invalid-arg", &bad);
}

// The local names of a block of file names.  A name that is empty or holds
// a NUL would cut the list short (names are NUL-separated), so it is refused.
std::vector<std::string> local_names(const Cell* block_in) {
    Cell files = *block_in;
    gc::CellRoot keep(&files);
    std::vector<std::string> names;
    for (uint32_t i = 0;; i++) {
        Cell* item = block::item(&files, i);
        if (!item) break;
        Cell name = *item;
        gc::CellRoot keep_name(&name);
        uint32_t t = type_of(&name);
        if (t != TYPE_FILE && t != TYPE_STRING) invalid(&name);
        std::string local = files::os_name(&name);
        if (local.empty() || local.find('\0') != std::string::npos) invalid(&name);
        names.push_back(std::move(local));
    }
    return names;
}

}  // namespace

void  set_owner_window(void* window) { owner = window; }
void* owner_window() { return owner; }

Cell* push_read() {
    Content content = read_content();
    switch (content.kind) {
        case Content::FAILED: {
            Cell failed{TYPE_LOGIC, 0, 0, 0};
            return stack::push(&failed);
        }
        case Content::NOTHING: break;
        case Content::TEXT: {
            Cell text = string::from_utf8(content.text.data(), content.text.size());
            return stack::push(&text);
        }
        case Content::FILES: {
            Cell* list = block::push_new(int32_t(content.files.size()));
            for (const std::string& local : content.files) {
                Cell file = files::make_file(files::to_qor_path(local));
                gc::CellRoot keep(&file);
                block::append_copy(list, &file);
            }
            return list;
        }
        case Content::IMAGE: {
            image_backend::Bitmap* b = image_backend::alloc_bitmap(content.width, content.height);
            if (!b || content.pixels.size() != size_t(b->count())) {
                image_backend::discard(b);
                break;
            }
            std::copy(content.pixels.begin(), content.pixels.end(), b->pixels());
            Cell img = image_backend::adopt(b);
            return stack::push(&img);
        }
    }
    Cell none{TYPE_NONE, 0, 0, 0};
    return stack::push(&none);
}

bool write(const Cell* value) {
    Content content;
    switch (type_of(value)) {
        case TYPE_NONE: content.kind = Content::NOTHING; break;
        case TYPE_STRING:
            content.kind = Content::TEXT;
            content.text = string::to_utf8(value);
            break;
        case TYPE_BLOCK:
            content.kind = Content::FILES;
            content.files = local_names(value);
            break;
        case TYPE_IMAGE:
            if (image_backend::Bitmap* b = image_backend::bitmap(value)) {
                content.kind = Content::IMAGE;
                content.width = b->width;
                content.height = b->height;
                content.pixels.assign(b->pixels(), b->pixels() + b->count());
            }
            break;
        default: invalid(value);
    }
    return write_content(content);
}

}  // namespace qor::clipboard
