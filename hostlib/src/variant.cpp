#include "hostlib/variant.h"

#include <cctype>
#include <charconv>
#include <limits>

#include "core/ascii_text.h"
#include "core/exceptions.h"

namespace hostlib {

const char* VarTypeName(VarType type) {
    switch (type) {
        case VarType::Unassigned:
            return "Empty";
        case VarType::Null:
            return "Null";
        case VarType::Boolean:
            return "Boolean";
        case VarType::Integer:
            return "Integer";
        case VarType::String:
            return "String";
        case VarType::Array:
            return "Array";
    }
    return "Unknown";
}

Variant Variant::Null() { return Variant(NullTag{}); }

VarType Variant::Type() const {
    switch (value_.index()) {
        case 0:
            return VarType::Unassigned;
        case 1:
            return VarType::Null;
        case 2:
            return VarType::Boolean;
        case 3:
            return VarType::Integer;
        case 4:
            return VarType::String;
        default:
            return VarType::Array;
    }
}

const Variant& Variant::operator[](std::size_t index) const {
    const auto* elements = std::get_if<std::vector<Variant>>(&value_);
    if (elements == nullptr) throw EVariantNotAnArrayError("Variante não é uma matriz.");
    if (index >= elements->size()) {
        throw EVariantBadIndexError("Índice de variante ou matriz fora dos limites.");
    }
    return (*elements)[index];
}

std::size_t Variant::ElementCount() const {
    const auto* elements = std::get_if<std::vector<Variant>>(&value_);
    return elements == nullptr ? 0 : elements->size();
}

void Variant::CastError(VarType target) const {
    throw EVariantTypeCastError(std::string("Não foi possível converter variante do tipo (") + VarTypeName(Type()) +
                                ") para o tipo (" + VarTypeName(target) + ").");
}

bool Variant::ToBoolean() const {
    switch (Type()) {
        case VarType::Unassigned:
            return false;
        case VarType::Boolean:
            return std::get<bool>(value_);
        case VarType::Integer:
            return std::get<std::int32_t>(value_) != 0;
        case VarType::String: {
            const std::string_view text = TrimmedBlanks(std::get<std::string>(value_), kWhiteSpace);
            if (EqualsIgnoringCase(text, "true")) return true;
            if (EqualsIgnoringCase(text, "false")) return false;
            try {
                return Variant(std::string(text)).ToInt32() != 0;
            } catch (const EVariantError&) {
                CastError(VarType::Boolean);
            }
        }
        default:
            CastError(VarType::Boolean);
    }
}

std::int32_t Variant::ToInt32() const {
    switch (Type()) {
        case VarType::Unassigned:
            return 0;
        // The platform's True is all bits set.
        case VarType::Boolean:
            return std::get<bool>(value_) ? -1 : 0;
        case VarType::Integer:
            return std::get<std::int32_t>(value_);
        case VarType::String: {
            const std::string_view text = TrimmedBlanks(std::get<std::string>(value_), kWhiteSpace);
            std::int64_t parsed = 0;
            const char* begin = text.data();
            const char* end = text.data() + text.size();
            if (begin != end && *begin == '+') ++begin;
            const auto [ptr, ec] = std::from_chars(begin, end, parsed);
            if (begin == end || ptr != end) CastError(VarType::Integer);
            if (ec == std::errc::result_out_of_range || parsed > std::numeric_limits<std::int32_t>::max() ||
                parsed < std::numeric_limits<std::int32_t>::min()) {
                throw EVariantOverflowError("Estouro na conversão de variante para o tipo (Integer).");
            }
            return static_cast<std::int32_t>(parsed);
        }
        default:
            CastError(VarType::Integer);
    }
}

std::string Variant::ToString() const {
    switch (Type()) {
        case VarType::Unassigned:
            return "";
        case VarType::Boolean:
            return std::get<bool>(value_) ? "True" : "False";
        case VarType::Integer:
            return std::to_string(std::get<std::int32_t>(value_));
        case VarType::String:
            return std::get<std::string>(value_);
        default:
            CastError(VarType::String);
    }
}

}  // namespace hostlib
