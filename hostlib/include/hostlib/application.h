#pragma once
// The application object: owns the forms, knows the active one and the main window,
// issues form handles, holds the host's current values and routes errors to the host.
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hostlib/component.h"
#include "core/datetime.h"
#include "hostlib/form.h"
#include "hostlib/form_handles.h"
#include "hostlib/host_services.h"
#include "core/login_name.h"

namespace hostlib {

class TdtmDBGeral;

// The host's current settings that the services of the host library hand out.
struct HostValues {
    std::string EmprProc;
    std::string IEstProc;
    std::string IMunProc;
    std::string FiliProc;
    std::map<std::string, TDateTime> DataProc;  // by branch; a branch not set reads as today
    std::string WebURL = "127.0.0.1";
    int WebPort = 8217;
    // The server's shared secret, and the CA file that makes the connection TLS; empty: none.
    std::string WebToken;
    std::string WebTlsCaFile;
    // Who is at the keyboard, as the server records it beside each store it makes.
    std::string Usuario = OperatingSystemLoginName();
};

class TApplication : public TComponent {
public:
    // Becomes the process's application until destroyed; only one may exist at a time.
    explicit TApplication(HostServices& host);
    ~TApplication() override;

    static TApplication& Instance();
    static bool Exists();

    HostServices& Host() { return host_; }
    HostValues& Values() { return values_; }

    // The host's data module; raises when the host has none.
    TdtmDBGeral& DataModule();
    void SetDataModule(TdtmDBGeral* module) { data_module_ = module; }

    // Creates a form owned by the application; `reference` refers to it before its
    // creation event runs.
    template <class T, class... Args>
    T& CreateForm(T*& reference, Args&&... args) {
        auto form = std::make_unique<T>(this, std::forward<Args>(args)...);
        T& created = *form;
        AddForm(std::move(form));
        reference = &created;
        created.DoCreate();
        return created;
    }

    TForm* MainForm() const { return main_form_; }
    void SetMainForm(TForm* form) { main_form_ = form; }
    std::vector<TForm*> Forms() const;
    // Whether `form` is one of the application's live forms; never reads through the pointer.
    bool Owns(const TForm* form) const;

    TForm* ActiveForm() const { return active_form_; }
    // Makes `form` the active window; its OnActivate runs when it was not already.
    void ActivateForm(TForm& form);
    // A window outside the application's forms became active.
    void DeactivateAll() { active_form_ = nullptr; }

    // Frees the form once the current event has finished (a handler may still be on it).
    void Release(TForm& form);
    void ProcessReleases();

    FormHandle HandleOf(const TForm& form) const { return handles_.HandleOf(form); }
    TForm* FormFromHandle(FormHandle handle) const { return handles_.Find(handle); }

    // Aborts end silently; any other error goes to the host's general error display.
    void HandleException(std::exception_ptr error);

private:
    void AddForm(std::unique_ptr<TForm> form);
    friend class TForm;
    void FormDestroyed(TForm& form);

    HostServices& host_;
    HostValues values_;
    std::vector<std::unique_ptr<TForm>> forms_;
    std::vector<TForm*> released_;
    FormHandleRegistry handles_;
    TdtmDBGeral* data_module_ = nullptr;
    TForm* main_form_ = nullptr;
    TForm* active_form_ = nullptr;
};

// The process's application object.
inline TApplication& Application() { return TApplication::Instance(); }

}  // namespace hostlib
