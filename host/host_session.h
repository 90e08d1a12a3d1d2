#pragma once
// What every host mode shares: the module loaded by the package loader, the application
// object, the database, the application server (embedded or remote) and the main window.
#include <memory>
#include <stdexcept>
#include <string>

#include "app_server.h"
#include "host_options.h"
#include "hostlib/application.h"
#include "hostlib/package.h"
#include "hostlib/variant.h"

namespace host {

// Which part of the host could not start.
enum class HostStartStep { Module, Database, Server };

// The host cannot start: the module, the database or the server is not to be had. The text
// is a sentence for the user; the details are what the system said.
class HostStartError : public std::runtime_error {
public:
    HostStartError(HostStartStep step, const std::string& message, std::string details = {})
        : std::runtime_error(message), step_(step), details_(std::move(details)) {}
    HostStartStep Step() const { return step_; }
    const std::string& Details() const { return details_; }

private:
    HostStartStep step_;
    std::string details_;
};

class HostSession {
public:
    HostSession(const HostOptions& options, hostlib::HostServices& services);
    ~HostSession();

    hostlib::TApplication& Application() { return application_; }
    hostlib::TForm& MainForm() { return *main_form_; }
    // IniProc of the module; what escapes it goes to the host's error display.
    void CallIniProc(const hostlib::Variant& argument);
    // The module's open screen, if any: a visible routine screen among the main window's children.
    hostlib::TForm* Screen() const;
    // Closes the open screen as a user would (its close handler disconnects) and frees it.
    void CloseScreen();
    // A host form owning a label "lblDtEmissao", for the screen's caller mode.
    hostlib::TForm& CreateCallerForm(const std::string& name);

    const std::string& DatabaseUrl() const { return database_url_; }
    // "embutido em 127.0.0.1:PORT" or "HOST:PORT".
    std::string ServerDescription() const;

private:
    void ConnectApplicationServer(const HostOptions& options);

    // Declared in this order so that the forms go before the module that made them, and
    // the module before the server.
    std::unique_ptr<appserver::AppServer> embedded_server_;
    hostlib::TPackage package_;
    hostlib::TApplication application_;
    hostlib::TForm* main_form_ = nullptr;
    std::string database_url_;
};

}  // namespace host
