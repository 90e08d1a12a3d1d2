// The five lookup buttons: what they list, the empty-list texts, and the write-back.
#include <gtest/gtest.h>

#include "support/proposal_fixture.h"

using namespace hostlib;
using testing_support::CallerMode;

namespace {

class LookupButtons : public testing_support::ProposalFixture {
protected:
    void Pick(TBtnPesquisa& button, std::optional<std::size_t> row) {
        harness.host.next_pick = row;
        screen->UserClick(button);
    }
    const testing_support::HostEvent* LastOf(const std::string& type) const {
        for (auto it = harness.host.events.rbegin(); it != harness.host.events.rend(); ++it) {
            if (it->type == type) return &*it;
        }
        return nullptr;
    }
};

TEST_P(LookupButtons, CompanyListHoldsEveryCompanyAndAChoiceRunsTheCascade) {
    Open(CallerMode::Off);
    screen->edtCdSerie.SetText("1");
    Pick(screen->btpEmpresa, 1);
    const auto* list = LastOf("lookup");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text, "Empresa");
    EXPECT_EQ(list->items, (std::vector<std::string>{"Código", "Nome"}));
    EXPECT_EQ(screen->qryEmpresa.RecordCount(), 3u);
    EXPECT_EQ(screen->medCdEmpresa.Text(), "02");
    EXPECT_EQ(screen->edtNmEmpresa.Text(), "Distribuidora Boa Vista S.A.");  // written after the cascade
    EXPECT_EQ(screen->medInscEstad.Text(), "");
    EXPECT_EQ(screen->medInscMuni.Text(), "");
    EXPECT_EQ(screen->edtCdSerie.Text(), "");
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");
    // Leaving the field finds only the chosen company again.
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(screen->qryEmpresa.RecordCount(), 1u);
    EXPECT_EQ(screen->qryEmpresa.ParamByName("P_TCDEMPRESA").Value(), "");
}

TEST_P(LookupButtons, CancellingChangesNothing) {
    Open(CallerMode::Off);
    Pick(screen->btpEmpresa, std::nullopt);
    EXPECT_EQ(screen->medCdEmpresa.Text(), "01");
    EXPECT_EQ(screen->medInscEstad.Text(), "110042490114");
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
}

TEST_P(LookupButtons, RegistrationListsFollowTheCompanyTextEvenUnvalidated) {
    Open(CallerMode::Off);
    screen->medCdEmpresa.SetText("02");
    Pick(screen->btpInscEstad, 0);
    EXPECT_EQ(screen->qryInscrEstad.RecordCount(), 1u);
    EXPECT_EQ(screen->medInscEstad.Text(), "633012345110");
    EXPECT_EQ(harness.Focus(), "medInscEstad");
    Pick(screen->btpInscMuni, 0);
    EXPECT_EQ(screen->medInscMuni.Text(), "9911002");
    EXPECT_EQ(LastOf("lookup")->items, (std::vector<std::string>{"Código", "Representante Legal"}));
}

TEST_P(LookupButtons, AStateRegistrationChoiceEmptiesWhatDependsOnIt) {
    Open(CallerMode::Off);
    screen->edtCdSerie.SetText("1");
    Pick(screen->btpInscEstad, 1);  // "ISENTO", after "110042490114"
    EXPECT_EQ(screen->medInscEstad.Text(), "ISENTO");
    EXPECT_EQ(screen->medInscMuni.Text(), "");
    EXPECT_EQ(screen->edtCdSerie.Text(), "");
    EXPECT_EQ(screen->medCdEmpresa.Text(), "01");
}

TEST_P(LookupButtons, WithoutACompanyTheRegistrationListsAreEmpty) {
    Open(CallerMode::Off);
    screen->medCdEmpresa.SetText("");
    Pick(screen->btpInscEstad, 0);
    ASSERT_NE(LastOf("lookupEmpty"), nullptr);
    EXPECT_EQ(LastOf("lookupEmpty")->text, "Não há inscrição estadual cadastrada para a empresa informada.");
    Pick(screen->btpInscMuni, 0);
    EXPECT_EQ(LastOf("lookupEmpty")->text, "Não há inscrição municipal cadastrada para a empresa informada.");
    EXPECT_EQ(LastOf("lookup"), nullptr);
    EXPECT_EQ(screen->medInscEstad.Text(), "");
}

TEST_P(LookupButtons, SeriesListAsksForEverySeriesAndLeavesTheChosenRowCurrent) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    Pick(screen->btpSerie, 6);  // "7", numbered per location
    const auto* list = LastOf("lookup");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text, "Série de Documentos de Saída");
    EXPECT_EQ(list->items, (std::vector<std::string>{"Código", "Descrição"}));  // the rest are hidden
    EXPECT_EQ(screen->cdsSerieNF.RecordCount(), 13u);
    EXPECT_EQ(screen->edtCdSerie.Text(), "7");
    EXPECT_EQ(screen->cdsSerieNF.FieldByName("CDSERIE").AsString(), "7");
    EXPECT_EQ(Last(), "");  // the change of series emptied the dates
    EXPECT_EQ(Next(), "");
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
    // Leaving the field now validates the choice.
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(harness.Focus(), "edtCdLocal");
    EXPECT_EQ(screen->cdsSerieNF.RecordCount(), 1u);
}

TEST_P(LookupButtons, SeriesListForARegistrationWithoutSeriesShowsItsEmptyText) {
    Open(CallerMode::Off);
    screen->medInscEstad.SetText("ISENTO");
    Pick(screen->btpSerie, 0);
    ASSERT_NE(LastOf("lookupEmpty"), nullptr);
    EXPECT_EQ(LastOf("lookupEmpty")->text,
              "Não há série de documentos de saída cadastrada para a inscrição estadual informada.");
    EXPECT_EQ(LastOf("lookupEmpty")->items, (std::vector<std::string>{"Série de Documentos de Saída"}));
}

TEST_P(LookupButtons, ServerDownDuringTheSeriesListEndsTheLookupWithoutMovingTheFocus) {
    Open(CallerMode::Off);
    screen->medInscMuni.SetFocus();
    harness.server.Stop();
    Pick(screen->btpSerie, 0);
    EXPECT_EQ(harness.host.Types(), (std::vector<std::string>{"exception"}));
    EXPECT_EQ(harness.Focus(), "medInscMuni");
}

TEST_P(LookupButtons, LocationListIsReadAfreshAndWritesCodeAndDescription) {
    Open(CallerMode::Off);
    Pick(screen->btpLocal, 0);  // disabled: nothing
    EXPECT_TRUE(harness.host.events.empty());
    LeaveSeries("7");
    Pick(screen->btpLocal, 2);
    EXPECT_EQ(screen->qryLocalEmiss.RecordCount(), 3u);
    EXPECT_EQ(screen->edtCdLocal.Text(), "0003");
    EXPECT_EQ(screen->edtDsLocal.Text(), "Depósito - Santos");
    EXPECT_EQ(harness.Focus(), "edtCdLocal");
    harness.database.Execute("INSERT INTO LOCALEMISSAO VALUES ('0004', 'Loja - Sorocaba', NULL)");
    Pick(screen->btpLocal, 3);
    EXPECT_EQ(screen->qryLocalEmiss.RecordCount(), 4u);
    EXPECT_EQ(screen->edtCdLocal.Text(), "0004");
    EXPECT_EQ(screen->edtDsLocal.Text(), "Loja - Sorocaba");
}

TEST_P(LookupButtons, ARowPastTheEndCancels) {
    Open(CallerMode::Off);
    Pick(screen->btpEmpresa, 10);
    EXPECT_EQ(screen->medCdEmpresa.Text(), "01");
}

INSTANTIATE_TEST_SUITE_P(Backends, LookupButtons, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
