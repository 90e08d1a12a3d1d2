#include "host_session.h"

#include <openssl/rand.h>

#include "host_database.h"
#include "hostlib/db/data_module.h"
#include "hostlib/rotigeral.h"
#include "core/exceptions.h"
#include "core/settings/host_port.h"

namespace host {

namespace {

// 32 random bytes as hexadecimal.
std::string RandomSecret() {
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        throw HostStartError(HostStartStep::Server, "não foi possível gerar o segredo do servidor embutido");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string secret;
    for (unsigned char byte : bytes) {
        secret += kHex[byte >> 4];
        secret += kHex[byte & 0xF];
    }
    return secret;
}

hostlib::TPackage LoadModule(const HostOptions& options) {
    auto result = hostlib::LoadPackage(ResolveModulePath(options));
    if (auto* error = std::get_if<hostlib::PackageError>(&result)) {
        throw HostStartError(HostStartStep::Module, error->message);
    }
    return std::move(std::get<hostlib::TPackage>(result));
}

}  // namespace

HostSession::HostSession(const HostOptions& options, hostlib::HostServices& services)
    : package_(LoadModule(options)), application_(services) {
    auto& database = application_.Create<hostlib::TdtmDBGeral>("dtmDBGeral");
    try {
        database_url_ = OpenHostDatabase(database, options);
    } catch (const hostlib::Exception& e) {
        throw HostStartError(HostStartStep::Database, e.what(), e.Details());
    }
    application_.SetDataModule(&database);
    ConnectApplicationServer(options);
    application_.CreateForm(main_form_, "frmPrincipal");
    main_form_->FormStyle = hostlib::TFormStyle::fsMDIForm;
    main_form_->SetCaption("Faturamento");
    application_.SetMainForm(main_form_);
}

HostSession::~HostSession() {
    // A screen left open would leave the module pointing at a form that is about to go.
    try {
        CloseScreen();
    } catch (...) {
        // Nothing may escape a destructor; the forms are freed with the application.
    }
}

void HostSession::CloseScreen() {
    if (hostlib::TForm* screen = Screen()) screen->UserClose();
    application_.ProcessReleases();
}

void HostSession::ConnectApplicationServer(const HostOptions& options) {
    auto& values = application_.Values();
    values.WebToken = options.token;
    values.WebTlsCaFile = options.tls_ca_file;
    if (options.server != "embedded") {
        const auto server = hostlib::ParseHostPort(options.server, hostlib::AnyPort::Refused);
        if (!server) {
            throw HostStartError(HostStartStep::Server, "--server deve ser 'embedded' ou HOST:PORTA: " + options.server);
        }
        values.WebURL = server->host;
        values.WebPort = server->port;
        return;
    }
    // The host's own server, on a loopback port of its own, over the same database. Every
    // local user can reach a loopback port: a secret of this process's own keeps them out.
    const std::string secret = RandomSecret();
    appserver::ServerOptions server_options;
    server_options.database_url = database_url_;
    server_options.address = "127.0.0.1";
    server_options.port = 0;
    server_options.threads = 1;
    server_options.log = appserver::RequestLog::None;
    server_options.clients = std::make_shared<appserver::ClientTable>(appserver::ClientTable::FromToken(secret));
    embedded_server_ = std::make_unique<appserver::AppServer>(server_options);
    try {
        embedded_server_->Start();
    } catch (const std::exception& e) {
        throw HostStartError(HostStartStep::Server, "Não foi possível iniciar o servidor de aplicação embutido.",
                             hostlib::FullTextOf(e));
    }
    values.WebURL = "127.0.0.1";
    values.WebPort = embedded_server_->Port();
    values.WebToken = secret;
    values.WebTlsCaFile.clear();  // the embedded server speaks plain HTTP on loopback
}

std::string HostSession::ServerDescription() const {
    const auto& values = const_cast<hostlib::TApplication&>(application_).Values();
    const std::string where = values.WebURL + ":" + std::to_string(values.WebPort);
    return embedded_server_ ? "embutido em " + where : where;
}

void HostSession::CallIniProc(const hostlib::Variant& argument) {
    auto* ini_proc = package_.Entry<void(const hostlib::Variant&)>("IniProc");
    try {
        if (ini_proc == nullptr) throw hostlib::Exception("O módulo não exporta IniProc.");
        ini_proc(argument);
    } catch (...) {
        // What escapes the module reaches the host's general error handling.
        application_.HandleException(std::current_exception());
    }
}

hostlib::TForm* HostSession::Screen() const {
    hostlib::TForm* found = nullptr;
    for (hostlib::TForm* form : application_.Forms()) {
        if (form->FormStyle == hostlib::TFormStyle::fsMDIChild && form->Visible() && form->Owner() == &application_ &&
            dynamic_cast<hostlib::TfrmRotiGeral*>(form) != nullptr) {
            found = form;
        }
    }
    return found;
}

hostlib::TForm& HostSession::CreateCallerForm(const std::string& name) {
    hostlib::TForm* form = nullptr;
    application_.CreateForm(form, name);
    auto& label = form->Create<hostlib::TLabel>("lblDtEmissao");
    label.SetParent(form);
    return *form;
}

}  // namespace host
