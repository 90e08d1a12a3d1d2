// The screen's life through IniProc: creation with the host's defaults, activation,
// Escape, the connection to the application server, and the close.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "hostlib/net/net_connection.h"
#include "support/screen_harness.h"

using namespace hostlib;
using testing_support::Backend;
namespace cli = Cli_Vor17000;

namespace {

class ScreenLifecycle : public ::testing::TestWithParam<Backend> {
protected:
    ScreenLifecycle() : harness(GetParam()) { harness.database.LoadDemo(); }
    void SetDefaults(const std::string& company, const std::string& state, const std::string& municipal) {
        harness.application.Values().EmprProc = company;
        harness.application.Values().IEstProc = state;
        harness.application.Values().IMunProc = municipal;
    }
    testing_support::ScreenHarness harness;
};

TEST_P(ScreenLifecycle, WithoutDefaultsNothingIsLookedUp) {
    auto& screen = harness.Open();
    EXPECT_EQ(harness.host.Types(), (std::vector<std::string>{"busy", "idle"}));
    EXPECT_EQ(harness.host.events[0].kind, 0);
    EXPECT_EQ(harness.host.events[0].text, "");
    EXPECT_EQ(screen.medCdEmpresa.Text(), "");
    EXPECT_EQ(screen.medInscEstad.Text(), "");
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");  // activation found no state registration
    EXPECT_TRUE(screen.netDataEmissao.Connected());
    EXPECT_TRUE(cli::boPrimVez);
}

TEST_P(ScreenLifecycle, RegisteredDefaultsAreFilledAndTheFocusGoesToTheSeries) {
    SetDefaults("1", "110042490114", "4587123");
    auto& screen = harness.Open();
    EXPECT_EQ(screen.medCdEmpresa.Text(), "01");
    EXPECT_EQ(screen.edtNmEmpresa.Text(), "Comercial Aurora Ltda");
    EXPECT_EQ(screen.medInscEstad.Text(), "110042490114");
    EXPECT_EQ(screen.medInscMuni.Text(), "4587123");
    for (const TCustomEdit* field :
         {static_cast<TCustomEdit*>(&screen.depDtUltEmiss), static_cast<TCustomEdit*>(&screen.depProxDtEmiss),
          static_cast<TCustomEdit*>(&screen.medDiaSem), static_cast<TCustomEdit*>(&screen.medProxDiaSem)}) {
        EXPECT_EQ(field->Text(), "") << field->Name();
    }
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
    EXPECT_TRUE(harness.Errors().empty());
}

TEST_P(ScreenLifecycle, UnregisteredCompanyLeavesTheRegistrationsEmpty) {
    SetDefaults("77", "110042490114", "4587123");
    auto& screen = harness.Open();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Empresa não cadastrada."}));
    EXPECT_EQ(screen.medCdEmpresa.Text(), "77");
    EXPECT_EQ(screen.medInscEstad.Text(), "");
    EXPECT_EQ(screen.medInscMuni.Text(), "");
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");
    EXPECT_TRUE(cli::boIdCriado);  // the screen opens all the same
}

TEST_P(ScreenLifecycle, UnregisteredStateRegistrationStaysAndActivationMovesToTheSeries) {
    SetDefaults("01", "NAOEXISTE", "4587123");
    auto& screen = harness.Open();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição estadual não cadastrada."}));
    EXPECT_EQ(screen.medInscEstad.Text(), "NAOEXISTE");
    EXPECT_EQ(screen.medInscMuni.Text(), "");
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
}

TEST_P(ScreenLifecycle, ComingBackRestoresTheWindowAndFocusesTheSeries) {
    SetDefaults("01", "110042490114", "");
    auto& screen = harness.Open();
    screen.UserFocus(screen.medCdEmpresa);
    screen.SetWindowState(TWindowState::wsMinimized);
    harness.application.DeactivateAll();
    screen.BringToFront();
    EXPECT_EQ(screen.WindowState(), TWindowState::wsNormal);
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
}

TEST_P(ScreenLifecycle, EscapeIsDiscardedAndOtherKeysPass) {
    auto& screen = harness.Open();
    char32_t key = kKeyEscape;
    screen.FormKeyPress(screen, key);
    EXPECT_EQ(key, 0u);
    for (char32_t other : {U'a', U'1', kKeyEnter, kKeyBackspace, U'ç'}) {
        char32_t copy = other;
        screen.FormKeyPress(screen, copy);
        EXPECT_EQ(copy, other);
    }
    screen.medInscEstad.SetFocus();
    harness.Type("ab");
    screen.UserKey(kKeyEscape);
    EXPECT_EQ(screen.medInscEstad.Text(), "AB");
}

TEST_P(ScreenLifecycle, CreationSeesTheScreenVariableSetAndTheOldCallerFlag) {
    TForm* caller = nullptr;
    harness.application.CreateForm(caller, "frmNF");
    cli::TfrmDataEmissao* seen_screen = nullptr;
    bool seen_flag = true;
    TForm* seen_over = nullptr;
    harness.host.on_busy = [&] {
        seen_screen = cli::frmDataEmissao;
        seen_flag = cli::boDataEmis;
        seen_over = harness.host.events.back().form;
    };
    cli::frmDataEmissao = nullptr;
    cli::boDataEmis = false;
    IniProc(Variant::Array({true, static_cast<std::int32_t>(harness.application.HandleOf(*caller))}));
    ASSERT_NE(seen_screen, nullptr);
    EXPECT_EQ(seen_screen, cli::frmDataEmissao);
    EXPECT_EQ(seen_over, cli::frmDataEmissao);
    EXPECT_FALSE(seen_flag);
    EXPECT_TRUE(cli::boDataEmis);
}

TEST_P(ScreenLifecycle, AFailedConnectionIsShownAndTheAnimationStillHidden) {
    harness.server.Stop();
    SetDefaults("01", "", "");
    auto& screen = harness.Open();
    ASSERT_EQ(harness.host.Types(), (std::vector<std::string>{"busy", "exception", "idle"}));
    EXPECT_NE(harness.host.events[1].text.find("Não foi possível conectar"), std::string::npos);
    EXPECT_FALSE(screen.netDataEmissao.Connected());
    EXPECT_EQ(screen.edtNmEmpresa.Text(), "Comercial Aurora Ltda");  // the rest of the creation ran
}

TEST_P(ScreenLifecycle, EachConnectionAttemptTakesTheHostsCurrentAddress) {
    testing_support::EmbeddedServer second(harness.database.Url());
    harness.Open().Close();
    harness.application.ProcessReleases();
    harness.server.Stop();
    harness.application.Values().WebPort = second.Port();
    auto& screen = harness.Open();
    EXPECT_TRUE(screen.netDataEmissao.Connected());
    EXPECT_EQ(screen.netDataEmissao.Port, second.Port());
    EXPECT_TRUE(harness.Errors().empty());
}

TEST_P(ScreenLifecycle, ServerLostWhileOpenFailsTheNextCallAndRecoversAfterRestart) {
    auto& screen = harness.Open();
    harness.server.Stop();
    EXPECT_THROW(screen.netDataEmissao.AppServer().Call("GetMaxData", {std::string("CTRL01")}), ENetConnectionError);
    EXPECT_TRUE(cli::boIdCriado);
    harness.server.Restart();
    const auto result = screen.netDataEmissao.AppServer().Call("GetMaxData", {std::string("CTRL01")});
    EXPECT_EQ(result["rows"][0][0], "2023-12-31T00:00:00");
}

TEST_P(ScreenLifecycle, CloseClearsTheFlagAndDisconnects) {
    auto& screen = harness.Open();
    screen.Close();
    EXPECT_FALSE(cli::boIdCriado);
    EXPECT_FALSE(screen.netDataEmissao.Connected());
    harness.application.ProcessReleases();
    cli::boPrimVez = false;
    harness.Open();
    EXPECT_TRUE(cli::boPrimVez);
}

INSTANTIATE_TEST_SUITE_P(Backends, ScreenLifecycle, testing_support::ScreenBackends(), testing_support::BackendName);

}  // namespace
