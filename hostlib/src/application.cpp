#include "hostlib/application.h"

#include <algorithm>

#include "core/exceptions.h"

namespace hostlib {

namespace {
// The process's one application object, as the platform has it.
TApplication* current_application = nullptr;
}  // namespace

TApplication::TApplication(HostServices& host) : TComponent(nullptr, "Application"), host_(host) {
    if (current_application != nullptr) throw Exception("Já existe um objeto de aplicação neste processo.");
    current_application = this;
}

TApplication::~TApplication() {
    // Forms go first, newest first, while the application they report to still exists.
    released_.clear();
    while (!forms_.empty()) forms_.pop_back();
    current_application = nullptr;
}

TApplication& TApplication::Instance() {
    if (current_application == nullptr) throw Exception("Nenhum objeto de aplicação foi criado.");
    return *current_application;
}

bool TApplication::Exists() { return current_application != nullptr; }

TdtmDBGeral& TApplication::DataModule() {
    if (data_module_ == nullptr) throw Exception("O host não tem banco de dados configurado.");
    return *data_module_;
}

std::vector<TForm*> TApplication::Forms() const {
    std::vector<TForm*> out;
    for (const auto& form : forms_) out.push_back(form.get());
    return out;
}

bool TApplication::Owns(const TForm* form) const {
    return std::any_of(forms_.begin(), forms_.end(), [form](const auto& f) { return f.get() == form; });
}

void TApplication::AddForm(std::unique_ptr<TForm> form) {
    handles_.Register(*form);
    forms_.push_back(std::move(form));
}

void TApplication::FormDestroyed(TForm& form) {
    handles_.Unregister(form);
    std::erase(released_, &form);
    if (active_form_ == &form) active_form_ = nullptr;
    if (main_form_ == &form) main_form_ = nullptr;
}

void TApplication::ActivateForm(TForm& form) {
    if (active_form_ == &form) return;
    active_form_ = &form;
    if (!form.OnActivate) return;
    try {
        form.OnActivate(form);
    } catch (...) {
        HandleException(std::current_exception());
    }
}

void TApplication::Release(TForm& form) {
    if (std::find(released_.begin(), released_.end(), &form) == released_.end()) released_.push_back(&form);
    if (active_form_ == &form) active_form_ = main_form_;
}

void TApplication::ProcessReleases() {
    while (!released_.empty()) {
        TForm* form = released_.back();
        released_.pop_back();
        auto it = std::find_if(forms_.begin(), forms_.end(), [form](const auto& f) { return f.get() == form; });
        if (it == forms_.end()) continue;
        std::unique_ptr<TForm> doomed = std::move(*it);
        forms_.erase(it);
        doomed.reset();
    }
}

void TApplication::HandleException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        // An abort has already told the user what went wrong.
    } catch (const Exception& e) {
        host_.ShowException(e.what(), e.Details());
    } catch (const std::exception& e) {
        host_.ShowException(e.what(), {});
    } catch (...) {
        host_.ShowException("Erro desconhecido.", {});
    }
}

}  // namespace hostlib
