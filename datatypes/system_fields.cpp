// Fields of objects and of the system object (system_fields.hpp).
#include "datatypes/system_fields.hpp"

#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/symbol.hpp"

namespace qor::system_fields {

Cell* field(const Cell* object, const char* name) {
    if (!object || !is_object_kind(type_of(object))) return nullptr;
    int32_t id = symbol::find(name, true);
    if (id <= 0) return nullptr;
    return context::value_by_symbol(id, object::context_of(object));
}

Cell* value(std::initializer_list<const char*> path) {
    if (!symbol::ready() || !context::global()) return nullptr;
    int32_t id = symbol::find("system", true);
    if (id <= 0) return nullptr;
    Cell* v = context::global_value_pointer(id);
    for (const char* name : path) {
        v = field(v, name);
        if (!v) return nullptr;
    }
    return v;
}

}  // namespace qor::system_fields
