#pragma once
// The platform's variant: the one argument type of IniProc.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace hostlib {

enum class VarType { Unassigned, Null, Boolean, Integer, String, Array };

const char* VarTypeName(VarType type);

class Variant {
public:
    Variant() = default;  // Unassigned
    Variant(bool value) : value_(value) {}
    Variant(std::int32_t value) : value_(value) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(const char* value) : value_(std::string(value)) {}
    Variant(std::vector<Variant> elements) : value_(std::move(elements)) {}

    static Variant Null();
    static Variant Array(std::vector<Variant> elements) { return Variant(std::move(elements)); }

    VarType Type() const;
    bool IsNull() const { return Type() == VarType::Null; }
    bool IsUnassigned() const { return Type() == VarType::Unassigned; }

    // Element of an array; raises when this is no array or the index is out of bounds.
    const Variant& operator[](std::size_t index) const;
    std::size_t ElementCount() const;

    // The standard conversions: Unassigned reads as false / 0 / ""; Null, arrays and texts
    // that do not parse raise EVariantTypeCastError; an integer out of range EVariantOverflowError.
    bool ToBoolean() const;
    std::int32_t ToInt32() const;
    std::string ToString() const;

private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    explicit Variant(NullTag tag) : value_(tag) {}
    [[noreturn]] void CastError(VarType target) const;

    std::variant<std::monostate, NullTag, bool, std::int32_t, std::string, std::vector<Variant>> value_;
};

}  // namespace hostlib
