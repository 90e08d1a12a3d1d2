#include "hostlib/form_handles.h"

namespace hostlib {

FormHandle FormHandleRegistry::Register(const TForm& form) {
    if (auto it = handles_.find(&form); it != handles_.end()) return it->second;
    // Never 0, never a handle still in use, even after the counter wraps.
    while (next_ == 0 || forms_.contains(next_)) ++next_;
    const FormHandle handle = next_++;
    forms_.emplace(handle, const_cast<TForm*>(&form));
    handles_.emplace(&form, handle);
    return handle;
}

void FormHandleRegistry::Unregister(const TForm& form) {
    if (auto it = handles_.find(&form); it != handles_.end()) {
        forms_.erase(it->second);
        handles_.erase(it);
    }
}

FormHandle FormHandleRegistry::HandleOf(const TForm& form) const {
    auto it = handles_.find(&form);
    return it == handles_.end() ? 0 : it->second;
}

TForm* FormHandleRegistry::Find(FormHandle handle) const {
    auto it = forms_.find(handle);
    return it == forms_.end() ? nullptr : it->second;
}

}  // namespace hostlib
