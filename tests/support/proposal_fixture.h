#pragma once
// The screen open on the demo data with company 01, its state registration and municipal
// registration 4587123 filled from the host, and a processing date of 10/12/2024.
#include <gtest/gtest.h>

#include "support/screen_harness.h"

namespace testing_support {

enum class CallerMode { Off, On };

class ProposalFixture : public ::testing::TestWithParam<Backend> {
protected:
    ProposalFixture() : harness(GetParam()) { harness.database.LoadDemo(); }

    static hostlib::TDateTime ProcessingDate() { return hostlib::EncodeDate(2024, 12, 10); }

    Cli_Vor17000::TfrmDataEmissao& Open(CallerMode mode = CallerMode::Off) {
        auto& values = harness.application.Values();
        values.EmprProc = "01";
        values.IEstProc = "110042490114";
        values.IMunProc = "4587123";
        values.FiliProc = "1";
        values.DataProc["1"] = ProcessingDate();
        if (mode == CallerMode::On) {
            hostlib::TForm* caller = nullptr;
            harness.application.CreateForm(caller, "frmNF");
            IniProc(hostlib::Variant::Array({true, static_cast<std::int32_t>(harness.application.HandleOf(*caller))}));
        } else {
            IniProc(hostlib::Variant::Null());
        }
        screen = &harness.Screen();
        harness.host.events.clear();
        return *screen;
    }
    // Types the series into its field, as the user would, and leaves it with Tab.
    void LeaveSeries(const std::string& code) {
        screen->UserFocus(screen->edtCdSerie);
        screen->UserClear();
        harness.Type(code);
        screen->UserTab(hostlib::TabDirection::Forward);
    }
    void LeaveLocation(const std::string& code) {
        screen->UserFocus(screen->edtCdLocal);
        screen->UserClear();
        harness.Type(code);
        screen->UserTab(hostlib::TabDirection::Forward);
    }
    std::string Last() const { return screen->depDtUltEmiss.Text(); }
    std::string Next() const { return screen->depProxDtEmiss.Text(); }
    bool NextEnabled() const { return screen->depProxDtEmiss.Enabled(); }
    std::vector<std::string> Alerts() const {
        std::vector<std::string> out;
        for (const auto& e : harness.host.events) {
            if (e.type == "alert") out.push_back(e.text);
        }
        return out;
    }
    bool LocationRowEnabled() const {
        return screen->edtCdLocal.Enabled() && screen->btpLocal.Enabled() && screen->lblLocal.Enabled() &&
               screen->edtCdLocal.Color() == hostlib::TColor::clInfoBk;
    }
    bool LocationRowDisabled() const {
        return !screen->edtCdLocal.Enabled() && !screen->btpLocal.Enabled() && !screen->lblLocal.Enabled() &&
               screen->edtCdLocal.Color() == hostlib::TColor::clBtnFace;
    }

    ScreenHarness harness;
    Cli_Vor17000::TfrmDataEmissao* screen = nullptr;
};

inline const char* kProcessingDateAlert =
    "Data de emissão não pode ser alterada, pois a série utiliza data de processamento como data de emissão.";

}  // namespace testing_support
