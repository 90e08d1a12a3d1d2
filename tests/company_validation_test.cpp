// Company and registration validation through the real screen, on both databases.
#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "support/screen_harness.h"

using namespace hostlib;
using testing_support::Backend;

namespace {

class CompanyValidation : public ::testing::TestWithParam<Backend> {
protected:
    CompanyValidation() : harness(GetParam()) {
        harness.database.LoadDemo();
        screen = &harness.Open();
    }
    // Fills company, state and municipal registration as the user would, leaving each field.
    void FillRegistrations() {
        harness.Enter(screen->medCdEmpresa, "01");
        harness.Enter(screen->medInscEstad, "110042490114");
        harness.Enter(screen->medInscMuni, "4587123");
        harness.Screen().UserFocus(screen->edtCdSerie);
        ASSERT_TRUE(harness.Errors().empty());
    }

    testing_support::ScreenHarness harness;
    Cli_Vor17000::TfrmDataEmissao* screen = nullptr;
};

TEST_P(CompanyValidation, CompanyCodeIsWidenedAndItsNameShown) {
    harness.Enter(screen->medCdEmpresa, "1");
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(screen->medCdEmpresa.Text(), "01");
    EXPECT_EQ(screen->edtNmEmpresa.Text(), "Comercial Aurora Ltda");
    EXPECT_EQ(harness.Focus(), "medInscEstad");
    EXPECT_TRUE(harness.Errors().empty());
}

TEST_P(CompanyValidation, UnregisteredCompanyIsReportedAndKeepsTheFocus) {
    harness.Enter(screen->medCdEmpresa, "9");
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Empresa não cadastrada."}));
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");
    EXPECT_EQ(screen->medCdEmpresa.Text(), "09");  // as written back, for the user to correct
    EXPECT_EQ(screen->edtNmEmpresa.Text(), "");
}

TEST_P(CompanyValidation, LeavingEmptyFieldsSaysNothing) {
    for (int i = 0; i < 3; ++i) screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
    EXPECT_TRUE(harness.Errors().empty());
}

TEST_P(CompanyValidation, RequiredEmptyFieldsReportTheirMissingMessage) {
    EXPECT_THROW(screen->Vd_Inscricao(true), EAbort);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição estadual deve ser informada."}));
    EXPECT_EQ(harness.Focus(), "medInscEstad");
    EXPECT_THROW(screen->Vd_Empresa(true), EAbort);
    EXPECT_THROW(screen->Vd_InscMuni(true), EAbort);
    EXPECT_EQ(harness.Errors().back(), "Inscrição municipal deve ser informada.");
    EXPECT_EQ(harness.Focus(), "medInscMuni");
    EXPECT_NO_THROW(screen->Vd_Inscricao(false));
}

TEST_P(CompanyValidation, RequiredLooksUpOnlyTheFieldThatHasTheFocus) {
    harness.Enter(screen->medCdEmpresa, "01");
    screen->medInscEstad.SetText("NAOEXISTE");
    screen->medCdEmpresa.SetFocus();
    EXPECT_NO_THROW(screen->Vd_Inscricao(true));
    EXPECT_TRUE(harness.Errors().empty());
    screen->medInscEstad.SetFocus();
    EXPECT_THROW(screen->Vd_Inscricao(true), EAbort);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição estadual não cadastrada."}));
}

TEST_P(CompanyValidation, RegistrationsOfAnotherCompanyAreNotRegistered) {
    harness.Enter(screen->medCdEmpresa, "01");
    harness.Enter(screen->medInscEstad, "633012345110");  // company 02's
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição estadual não cadastrada."}));
    EXPECT_EQ(harness.Focus(), "medInscEstad");
    EXPECT_EQ(screen->medInscEstad.Text(), "633012345110");
}

TEST_P(CompanyValidation, MunicipalRegistrationsOfAnotherCompanyAreNotRegistered) {
    harness.Enter(screen->medCdEmpresa, "01");
    harness.Enter(screen->medInscEstad, "110042490114");
    harness.Enter(screen->medInscMuni, "9911002");  // company 02's
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição municipal não cadastrada."}));
    EXPECT_EQ(harness.Focus(), "medInscMuni");
}

TEST_P(CompanyValidation, WithoutACompanyEveryRegistrationIsUnregistered) {
    harness.Enter(screen->medInscEstad, "110042490114");
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição estadual não cadastrada."}));
}

TEST_P(CompanyValidation, TheCompanyTypedWhenTheQueryOpensDecides) {
    harness.Enter(screen->medCdEmpresa, "02");
    screen->medInscEstad.SetText("633012345110");
    screen->medInscEstad.SetFocus();
    EXPECT_NO_THROW(screen->Vd_Inscricao(false));
    EXPECT_EQ(screen->qryInscrEstad.ParamByName("P_CDEMPRESA").Value(), "02");
    EXPECT_EQ(screen->qryInscrEstad.ParamByName("P_TCDINSCESTA").Value(), "");
    EXPECT_TRUE(screen->qryInscrEstad.Active());  // left open on the row found
}

TEST_P(CompanyValidation, WideningTheCodeRunsTheCascadeBeforeTheLookup) {
    // The program writes "1" (as the host's default could be), then the fields below it.
    screen->medCdEmpresa.SetText("1");
    screen->medInscEstad.SetText("110042490114");
    screen->medInscMuni.SetText("4587123");
    screen->edtCdSerie.SetText("1");
    screen->medCdEmpresa.SetFocus();
    screen->UserTab(TabDirection::Forward);
    // Writing back "01" is a change: it empties the registrations and the series.
    EXPECT_EQ(screen->medCdEmpresa.Text(), "01");
    EXPECT_EQ(screen->medInscEstad.Text(), "");
    EXPECT_EQ(screen->medInscMuni.Text(), "");
    EXPECT_EQ(screen->edtCdSerie.Text(), "");
    // The name is shown after the cascade, so it stands.
    EXPECT_EQ(screen->edtNmEmpresa.Text(), "Comercial Aurora Ltda");
    EXPECT_EQ(harness.Focus(), "medInscEstad");
}

TEST_P(CompanyValidation, OneKeystrokeInTheCompanyEmptiesEverythingBelow) {
    FillRegistrations();
    screen->edtCdSerie.SetText("1");
    screen->medCdEmpresa.SetFocus();
    screen->UserEditKey(TEditKey::End, TSelectionMode::Move);
    screen->UserKey(kKeyBackspace);
    EXPECT_EQ(screen->medCdEmpresa.Text(), "0");
    EXPECT_EQ(screen->edtNmEmpresa.Text(), "");
    EXPECT_EQ(screen->medInscEstad.Text(), "");
    EXPECT_EQ(screen->medInscMuni.Text(), "");
    EXPECT_EQ(screen->edtCdSerie.Text(), "");
}

TEST_P(CompanyValidation, TypingTheMunicipalRegistrationLeavesTheRestAlone) {
    FillRegistrations();
    screen->edtCdSerie.SetText("1");
    screen->medInscMuni.SetFocus();
    harness.Type("9");
    EXPECT_EQ(screen->medCdEmpresa.Text(), "01");
    EXPECT_EQ(screen->edtNmEmpresa.Text(), "Comercial Aurora Ltda");
    EXPECT_EQ(screen->medInscEstad.Text(), "110042490114");
    EXPECT_EQ(screen->edtCdSerie.Text(), "");
}

TEST_P(CompanyValidation, SuccessfulRegistrationLookupsChangeNothingElse) {
    FillRegistrations();
    screen->edtCdSerie.SetText("1");
    screen->medInscMuni.SetFocus();
    EXPECT_NO_THROW(screen->Vd_Inscricao(false));
    EXPECT_NO_THROW(screen->Vd_InscMuni(true));
    EXPECT_EQ(screen->medInscMuni.Text(), "4587123");
    EXPECT_EQ(screen->edtCdSerie.Text(), "1");
    EXPECT_EQ(harness.Focus(), "medInscMuni");
}

TEST_P(CompanyValidation, SqlTypedIntoCodeFieldsIsPlainData) {
    harness.Enter(screen->medCdEmpresa, "01");
    const std::string hostile[] = {"' OR '1'='1", "X'; DROP TABLE INSCRESTAD; --", "\";", "'T'"};
    for (const auto& text : hostile) {
        SCOPED_TRACE(text);
        harness.host.events.clear();
        screen->medInscEstad.SetFocus();
        screen->UserClear();
        harness.Type(text);
        screen->UserTab(TabDirection::Forward);
        EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição estadual não cadastrada."}));
        harness.host.events.clear();
        screen->medInscEstad.SetText("110042490114");
        screen->medInscMuni.SetFocus();
        harness.Type(text);
        screen->UserTab(TabDirection::Forward);
        EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição municipal não cadastrada."}));
    }
    EXPECT_EQ(harness.database.QueryText("SELECT COUNT(*) FROM INSCRESTAD"), "3");
}

TEST_P(CompanyValidation, DatabaseErrorReachesTheErrorDisplayAndGivesTheFocusBack) {
    harness.Enter(screen->medCdEmpresa, "01");
    harness.database.Execute("DROP TABLE INSCRMUNICIP");
    harness.Enter(screen->medInscMuni, "4587123");
    harness.host.events.clear();
    screen->UserTab(TabDirection::Forward);
    ASSERT_EQ(harness.host.events.size(), 1u);
    EXPECT_EQ(harness.host.events[0].type, "exception");
    // A sentence for the clerk first; the driver's own message under the details.
    EXPECT_EQ(harness.host.events[0].text, "O banco de dados respondeu com uma falha.");
    ASSERT_EQ(harness.host.events[0].items.size(), 1u);
    std::string details = harness.host.events[0].items[0];
    for (auto& c : details) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(details.find("inscrmunicip"), std::string::npos) << details;
    EXPECT_EQ(harness.Focus(), "medInscMuni");
}

INSTANTIATE_TEST_SUITE_P(Backends, CompanyValidation, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
