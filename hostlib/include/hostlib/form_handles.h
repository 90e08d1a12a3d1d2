#pragma once
// 32-bit handles for forms, so that a form can travel in a 32-bit variant without
// truncating a pointer. 0 is never issued; an unknown handle finds no form.
#include <cstdint>
#include <unordered_map>

namespace hostlib {

class TForm;
using FormHandle = std::uint32_t;

class FormHandleRegistry {
public:
    FormHandle Register(const TForm& form);
    void Unregister(const TForm& form);
    FormHandle HandleOf(const TForm& form) const;
    TForm* Find(FormHandle handle) const;

private:
    FormHandle next_ = 1;
    std::unordered_map<FormHandle, TForm*> forms_;
    std::unordered_map<const TForm*, FormHandle> handles_;
};

}  // namespace hostlib
