// Types of the scene language and their layout in VM words.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vsc {

struct StructDef;

struct Type {
    enum Kind { Void, Int, Float, Bool, Vec3, Mat4, Array, Struct, Pointer, Null };
    Kind kind;
    const Type* elem = nullptr;  // arrays and pointers
    uint32_t count = 0;          // arrays
    StructDef* def = nullptr;    // structs
    uint32_t size = 0;           // words; structs get theirs once resolved
};

struct FieldDef {
    std::string name;
    const Type* type;
    uint32_t offset;
};

struct StructDef {
    std::string name;
    std::vector<FieldDef> fields;
    int state = 0;  // 0 unresolved, 1 resolving, 2 done
    const Type* type = nullptr;
};

// No value may be larger than this many words (the VM's memory is far
// smaller than what 32-bit sizes could name).
constexpr uint64_t kMaxTypeWords = 1u << 24;

// Owns every derived type; equal types are the same object, so comparison
// is by pointer. The basic types are process-wide constants, so that the
// standard header's tree, checked once, stays valid for every compilation.
class TypeTable {
public:
    static const Type* voidType() { return &basic()[0]; }
    static const Type* intType() { return &basic()[1]; }
    static const Type* floatType() { return &basic()[2]; }
    static const Type* boolType() { return &basic()[3]; }
    static const Type* vec3Type() { return &basic()[4]; }
    static const Type* mat4Type() { return &basic()[5]; }
    static const Type* nullType() { return &basic()[6]; }
    const Type* pointerTo(const Type* elem);
    // Null when the array would exceed kMaxTypeWords.
    const Type* arrayOf(const Type* elem, uint32_t count);
    StructDef* addStruct(const std::string& name);

private:
    static const Type* basic();
    std::map<const Type*, std::unique_ptr<Type>> pointers_;
    std::map<std::pair<const Type*, uint32_t>, std::unique_ptr<Type>> arrays_;
    std::vector<std::unique_ptr<StructDef>> structs_;
    std::vector<std::unique_ptr<Type>> structTypes_;
};

std::string typeName(const Type* t);
inline bool isNumeric(const Type* t) {
    return t->kind == Type::Int || t->kind == Type::Float || t->kind == Type::Bool;
}
inline bool isIntLike(const Type* t) {
    return t->kind == Type::Int || t->kind == Type::Bool;
}
inline bool isScalar(const Type* t) {
    return isNumeric(t) || t->kind == Type::Pointer || t->kind == Type::Null;
}
// Values that fit on the stack: scalars and vectors.
inline bool isValueType(const Type* t) {
    return isScalar(t) || t->kind == Type::Vec3;
}

}  // namespace vsc
