#pragma once
// Components: named, owned, found by name. An owner frees what it owns.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hostlib {

// Names of components, fields and columns compare without regard to case, as the
// platform's do (and as PostgreSQL hands unquoted names back in lower case).
bool SameName(std::string_view a, std::string_view b);

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

// An event that tells only who raised it.
using TNotifyEvent = std::function<void(TObject& sender)>;

class TComponent : public TObject {
public:
    TComponent(TComponent* owner, std::string name);
    ~TComponent() override;

    const std::string& Name() const { return name_; }
    TComponent* Owner() const { return owner_; }

    // Names compare without regard to case, as the platform's do.
    TComponent* FindComponent(std::string_view name) const;
    template <class T>
    T* Find(std::string_view name) const {
        return dynamic_cast<T*>(FindComponent(name));
    }

    // Owned components in creation order.
    std::vector<TComponent*> Components() const;

    // Creates a component owned by this one.
    template <class T, class... Args>
    T& Create(std::string name, Args&&... args) {
        auto owned = std::make_unique<T>(this, std::move(name), std::forward<Args>(args)...);
        T& ref = *owned;
        owned_.push_back(std::move(owned));
        return ref;
    }

private:
    TComponent* owner_;
    std::string name_;
    std::vector<std::unique_ptr<TComponent>> owned_;
};

}  // namespace hostlib
