#include "hostlib/component.h"

#include <algorithm>
#include <cctype>

#include "core/ascii_text.h"

namespace hostlib {

bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

TComponent::TComponent(TComponent* owner, std::string name) : owner_(owner), name_(std::move(name)) {}

TComponent::~TComponent() {
    // Last created first, so that a child never outlives what it was placed on.
    while (!owned_.empty()) owned_.pop_back();
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (const auto& c : owned_) {
        if (SameName(c->Name(), name)) return c.get();
    }
    return nullptr;
}

std::vector<TComponent*> TComponent::Components() const {
    std::vector<TComponent*> out;
    out.reserve(owned_.size());
    for (const auto& c : owned_) out.push_back(c.get());
    return out;
}

}  // namespace hostlib
