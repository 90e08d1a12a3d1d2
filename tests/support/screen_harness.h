#pragma once
// The issue-date screen opened by IniProc in a test host, over a test database.
#include <string>

#include "Cli_Vor17000.h"
#include "Pkg_Vor17000.h"
#include "frmDataEmissao.h"
#include "hostlib/application.h"
#include "hostlib/db/data_module.h"
#include "core/utf8.h"
#include "support/backends.h"
#include "support/embedded_server.h"
#include "support/recording_host.h"

namespace testing_support {

class ScreenHarness {
public:
    explicit ScreenHarness(Backend backend) : database(backend), server(database.Url()), application(host) {
        data_module = &application.Create<hostlib::TdtmDBGeral>("dtmDBGeral");
        data_module->Open(database.Url());
        application.SetDataModule(data_module);
        application.Values().WebURL = "127.0.0.1";
        application.Values().WebPort = server.Port();
        Initialize();
    }
    ~ScreenHarness() {
        if (Cli_Vor17000::boIdCriado) Cli_Vor17000::frmDataEmissao->Close();
        application.ProcessReleases();
        Finalize();
    }

    Cli_Vor17000::TfrmDataEmissao& Open() {
        IniProc(hostlib::Variant::Null());
        return *Cli_Vor17000::frmDataEmissao;
    }
    Cli_Vor17000::TfrmDataEmissao& Screen() { return *Cli_Vor17000::frmDataEmissao; }
    std::string Focus() {
        auto* active = Screen().ActiveControl();
        return active != nullptr ? active->Name() : "(none)";
    }
    void Type(const std::string& text) {
        for (char32_t key : hostlib::utf8::Decode(text)) Screen().UserKey(key);
    }
    // Focus the field as a user, empty it and type the text.
    void Enter(hostlib::TCustomEdit& field, const std::string& text) {
        Screen().UserFocus(field);
        Screen().UserClear();
        Type(text);
    }
    std::vector<std::string> Errors() const {
        std::vector<std::string> out;
        for (const auto& e : host.events) {
            if (e.type == "error" || e.type == "exception") out.push_back(e.text);
        }
        return out;
    }

    TestDatabase database;
    EmbeddedServer server;
    RecordingHost host;
    hostlib::TApplication application;
    hostlib::TdtmDBGeral* data_module = nullptr;
};

}  // namespace testing_support
