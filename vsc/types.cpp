#include "vsc/types.h"

namespace vsc {

const Type* TypeTable::basic() {
    static const Type types[7] = {
        {Type::Void, nullptr, 0, nullptr, 0},  {Type::Int, nullptr, 0, nullptr, 1},
        {Type::Float, nullptr, 0, nullptr, 1}, {Type::Bool, nullptr, 0, nullptr, 1},
        {Type::Vec3, nullptr, 0, nullptr, 3},  {Type::Mat4, nullptr, 0, nullptr, 16},
        {Type::Null, nullptr, 0, nullptr, 1}};
    return types;
}

const Type* TypeTable::pointerTo(const Type* elem) {
    auto& slot = pointers_[elem];
    if (!slot) {
        slot = std::make_unique<Type>();
        slot->kind = Type::Pointer;
        slot->elem = elem;
        slot->size = 1;
    }
    return slot.get();
}

const Type* TypeTable::arrayOf(const Type* elem, uint32_t count) {
    if (static_cast<uint64_t>(elem->size) * count > kMaxTypeWords) return nullptr;
    auto& slot = arrays_[{elem, count}];
    if (!slot) {
        slot = std::make_unique<Type>();
        slot->kind = Type::Array;
        slot->elem = elem;
        slot->count = count;
        slot->size = elem->size * count;
    }
    return slot.get();
}

StructDef* TypeTable::addStruct(const std::string& name) {
    structs_.push_back(std::make_unique<StructDef>());
    StructDef* def = structs_.back().get();
    def->name = name;
    structTypes_.push_back(std::make_unique<Type>());
    Type* type = structTypes_.back().get();
    type->kind = Type::Struct;
    type->def = def;
    def->type = type;
    return def;
}

std::string typeName(const Type* t) {
    switch (t->kind) {
        case Type::Void:
            return "void";
        case Type::Int:
            return "int";
        case Type::Float:
            return "float";
        case Type::Bool:
            return "bool";
        case Type::Vec3:
            return "vec3";
        case Type::Mat4:
            return "mat4";
        case Type::Null:
            return "null";
        case Type::Struct:
            return t->def->name;
        case Type::Pointer:
            return typeName(t->elem) + "*";
        case Type::Array: {
            // int[3][4]: the outer size comes first, as it was written.
            std::string dims;
            const Type* base = t;
            while (base->kind == Type::Array) {
                dims += "[" + std::to_string(base->count) + "]";
                base = base->elem;
            }
            return typeName(base) + dims;
        }
    }
    return "?";
}

}  // namespace vsc
