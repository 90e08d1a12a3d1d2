// Confirm, end to end through the real server and database.
#include <gtest/gtest.h>

#include "support/proposal_fixture.h"

using namespace hostlib;
using testing_support::CallerMode;

namespace {

class Confirmation : public testing_support::ProposalFixture {
protected:
    // Types the next issue date over what the proposal put there.
    void TypeNextDate(const std::string& digits) {
        screen->depProxDtEmiss.SetEnabled(true);
        screen->depProxDtEmiss.SetFocus();
        screen->UserClear();
        harness.Type(digits);
    }
    void Confirm() { screen->UserClick(screen->sbtConfirma); }
    std::optional<std::string> ControlDate(const std::string& code) {
        return harness.database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + code + "'");
    }
    std::optional<std::string> LocationDate(const std::string& code) {
        return harness.database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '" + code + "'");
    }
    bool Closed() const { return !Cli_Vor17000::boIdCriado; }
    std::vector<std::string> EventsOf(const std::string& type) const {
        std::vector<std::string> out;
        for (const auto& e : harness.host.events) {
            if (e.type == type) out.push_back(e.text);
        }
        return out;
    }
    std::vector<std::string> CacheTables() const {
        for (const auto& e : harness.host.events) {
            if (e.type == "cache") return e.items;
        }
        return {};
    }
    bool Busy(int kind) const {
        for (const auto& e : harness.host.events) {
            if (e.type == "busy" && e.kind == kind) return true;
        }
        return false;
    }
    // The main window with an activation handler that counts its runs.
    int* WatchMainWindow() {
        TForm* main = nullptr;
        harness.application.CreateForm(main, "frmPrincipal");
        harness.application.SetMainForm(main);
        main->OnActivate = [this](TObject& sender) {
            ++main_activations;
            main_sender = &sender;
        };
        return &main_activations;
    }
    TForm* FindCaller() {
        for (TForm* form : harness.application.Forms()) {
            if (form->Name() == "frmNF") return form;
        }
        return nullptr;
    }
    std::string CallerLabel() { return FindCaller()->Find<TControl>("lblDtEmissao")->Caption(); }
    void GiveCallerALabel() {
        auto& label = FindCaller()->Create<TLabel>("lblDtEmissao");
        label.SetParent(FindCaller());
    }

    int main_activations = 0;
    TObject* main_sender = nullptr;
};

// ---- where the date goes

TEST_P(Confirmation, NumberingControlSeriesStoresWithUpdateCtrlNumNF) {
    WatchMainWindow();
    Open(CallerMode::Off);
    LeaveSeries("1");
    TypeNextDate("02012024");
    Confirm();
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(ControlDate("CTRL01"), "2024-01-02 00:00:00");
    EXPECT_EQ(CacheTables(), (std::vector<std::string>{"CTRLNUMENF"}));
    EXPECT_EQ(EventsOf("busy"), (std::vector<std::string>{"Atualizando controle de numeração de notas fiscais..."}));
    EXPECT_TRUE(Busy(1));
    EXPECT_EQ(main_activations, 1);
    EXPECT_EQ(main_sender, harness.application.MainForm());
    EXPECT_TRUE(Closed());
}

TEST_P(Confirmation, LocationSeriesStoresWithUpDtLocalAndNoAnimation) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("1");
    TypeNextDate("05072024");
    Confirm();
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(LocationDate("0001"), "2024-07-05 00:00:00");
    EXPECT_EQ(ControlDate("CTRL07"), std::nullopt);
    EXPECT_EQ(CacheTables(), (std::vector<std::string>{"LOCALEMISSAO"}));
    EXPECT_TRUE(EventsOf("busy").empty());
    EXPECT_TRUE(Closed());
}

TEST_P(Confirmation, ProcessingDateSeriesOutOfCallerModeStoresTheProcessingDate) {
    // An invoice later on the processing date itself: the locked proposal still passes.
    harness.database.Execute(
        "INSERT INTO NOTAFISCAL (CDCTRLNUMENF, NRNOTAFISCAL, DTEMISSAO) VALUES ('CTRL05', 2, '2024-12-10 09:30:00')");
    Open(CallerMode::Off);
    LeaveSeries("5");
    Confirm();
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(ControlDate("CTRL05"), "2024-12-10 00:00:00");
    EXPECT_EQ(CacheTables(), (std::vector<std::string>{"CTRLNUMENF"}));
}

TEST_P(Confirmation, CallerModeStoresAndHandsTheDateBack) {
    Open(CallerMode::On);
    GiveCallerALabel();
    LeaveSeries("1");
    TypeNextDate("03012024");
    Confirm();
    EXPECT_EQ(ControlDate("CTRL01"), "2024-01-03 00:00:00");
    EXPECT_EQ(CallerLabel(), "03/01/2024");
    EXPECT_TRUE(Closed());
}

TEST_P(Confirmation, CallerModeLocationSeriesStoresOnTheLocation) {
    Open(CallerMode::On);
    GiveCallerALabel();
    LeaveSeries("7");
    LeaveLocation("3");
    Confirm();
    EXPECT_EQ(LocationDate("0003"), "2025-01-01 00:00:00");
    EXPECT_EQ(CacheTables(), (std::vector<std::string>{"LOCALEMISSAO"}));
    EXPECT_EQ(CallerLabel(), "01/01/2025");
}

TEST_P(Confirmation, CallerModeProcessingDateSeriesStoresNothingButStillHandsBackAndCloses) {
    WatchMainWindow();
    Open(CallerMode::On);
    GiveCallerALabel();
    LeaveSeries("5");
    TypeNextDate("20122024");
    Confirm();
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(ControlDate("CTRL05"), "2024-01-10 00:00:00");  // untouched
    EXPECT_TRUE(CacheTables().empty());
    EXPECT_EQ(CallerLabel(), "20/12/2024");
    EXPECT_EQ(main_activations, 1);
    EXPECT_TRUE(Closed());
}

TEST_P(Confirmation, CallerModeWithoutACallerOrItsLabelGoesOn) {
    Open(CallerMode::On);  // the caller form has no label
    LeaveSeries("1");
    Confirm();
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_TRUE(Closed());
    harness.application.ProcessReleases();

    IniProc(Variant::Array({true, 0x7FFFFFF0}));  // a handle that names no form
    screen = &harness.Screen();
    LeaveSeries("2");
    Confirm();
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_TRUE(Closed());
}

TEST_P(Confirmation, ACallerFormFreedWhileTheScreenIsOpenIsNotWritten) {
    Open(CallerMode::On);
    GiveCallerALabel();
    TForm* caller = FindCaller();
    caller->OnClose = [](TObject&, TCloseAction& action) { action = TCloseAction::caFree; };
    caller->Close();
    harness.application.ProcessReleases();
    LeaveSeries("1");
    Confirm();
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_TRUE(Closed());
}

// ---- the check against the latest invoice

TEST_P(Confirmation, ANewDateAfterTheLastSkipsTheCheck) {
    Open(CallerMode::Off);
    LeaveSeries("1");  // last 31/12/2023
    TypeNextDate("01012024");
    Confirm();
    EXPECT_FALSE(Busy(6));
    EXPECT_EQ(ControlDate("CTRL01"), "2024-01-01 00:00:00");
}

TEST_P(Confirmation, ANewDateEqualToTheLastIsCheckedAndAnEqualInvoicePasses) {
    Open(CallerMode::Off);
    LeaveSeries("1");  // latest invoice 31/12/2023 at midnight
    TypeNextDate("31122023");
    Confirm();
    EXPECT_TRUE(Busy(6));
    EXPECT_EQ(EventsOf("busy").front(), "Verificando notas fiscais...");
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(ControlDate("CTRL01"), "2023-12-31 00:00:00");
    EXPECT_TRUE(Closed());
}

TEST_P(Confirmation, ADateBeforeAMidnightInvoiceIsRefusedWithTheDateAlone) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    TypeNextDate("30122023");
    Confirm();
    EXPECT_EQ(harness.Errors(),
              (std::vector<std::string>{"Próxima data de emissão deve ser maior ou igual a 31/12/2023 (data da última "
                                        "emissão)."}));
    EXPECT_EQ(ControlDate("CTRL01"), "2023-12-31 00:00:00");
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
    EXPECT_FALSE(Closed());
    EXPECT_EQ(harness.host.events.back().type, "idle");  // the guard hid the animation
}

TEST_P(Confirmation, WithoutALastDateAnEarlierDateThanTheLatestInvoiceIsStillRefused) {
    // Without a last issue date the check used to be skipped (0 < any date).
    Open(CallerMode::Off);
    LeaveSeries("3");
    TypeNextDate("01012024");
    Confirm();
    EXPECT_TRUE(Busy(6));
    EXPECT_EQ(harness.Errors().size(), 1u);
    EXPECT_EQ(ControlDate("CTRL03"), std::nullopt);
    EXPECT_FALSE(Closed());
}

TEST_P(Confirmation, WithoutALastDateTheProposedDayOfTheLatestInvoiceIsAccepted) {
    // Series 3: no last date, latest invoice 15/05/2024 14:30; the screen proposes that day.
    Open(CallerMode::Off);
    LeaveSeries("3");
    ASSERT_EQ(Next(), "15/05/2024");
    Confirm();
    EXPECT_TRUE(harness.Errors().empty()) << harness.Errors().front();
    EXPECT_EQ(ControlDate("CTRL03"), "2024-05-15 00:00:00");
    EXPECT_TRUE(Closed());
}

TEST_P(Confirmation, WithoutALastDateTheDayBeforeTheLatestInvoiceIsRefusedWithItsTime) {
    Open(CallerMode::Off);
    LeaveSeries("3");
    TypeNextDate("14052024");
    Confirm();
    ASSERT_EQ(harness.Errors().size(), 1u);
    EXPECT_EQ(harness.Errors().front(),
              "Próxima data de emissão deve ser maior ou igual a 15/05/2024 14:30:00 (data da última emissão).");
    EXPECT_EQ(ControlDate("CTRL03"), std::nullopt);
}

TEST_P(Confirmation, WithALastDateTheWholeDateTimeStillCounts) {
    // CTRL10: last 31/05/2024, latest invoice 01/06/2024 08:00; 01/06 is after the last date
    // and skips the check, so the last date is moved past the invoice's day first.
    harness.database.Execute(
        "UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2024-06-05 00:00:00' WHERE CDCTRLNUMENF = 'CTRL10'");
    Open(CallerMode::Off);
    LeaveSeries("MIN");
    TypeNextDate("01062024");
    Confirm();
    ASSERT_EQ(harness.Errors().size(), 1u);
    EXPECT_NE(harness.Errors().front().find("01/06/2024 08:00:00"), std::string::npos);
}

TEST_P(Confirmation, NoInvoiceAtAllLetsAnyDatePass) {
    Open(CallerMode::Off);
    LeaveSeries("4");
    TypeNextDate("01012000");
    Confirm();
    EXPECT_TRUE(Busy(6));
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(ControlDate("CTRL04"), "2000-01-01 00:00:00");
}

TEST_P(Confirmation, UpperCaseNSkipsTheCheckAndLowerCaseNDoesNot) {
    Open(CallerMode::Off);
    LeaveSeries("N");  // last 10/01/2024, invoice 20/01/2024, check "N"
    TypeNextDate("01012020");
    Confirm();
    EXPECT_FALSE(Busy(6));
    EXPECT_EQ(ControlDate("CTRL09"), "2020-01-01 00:00:00");
    harness.application.ProcessReleases();

    Open(CallerMode::Off);
    LeaveSeries("MIN");  // check "n": the latest invoice is 01/06/2024 08:00
    TypeNextDate("01012024");
    Confirm();
    EXPECT_TRUE(Busy(6));
    EXPECT_EQ(harness.Errors().size(), 1u);
    EXPECT_EQ(ControlDate("CTRL10"), "2024-05-31 00:00:00");
}

// ---- failures

TEST_P(Confirmation, OnlyTheFirstFailureIsReportedInScreenOrder) {
    Open(CallerMode::Off);
    screen->medCdEmpresa.SetText("77");  // unregistered, and everything below now empty
    Confirm();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Empresa não cadastrada."}));
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");
    EXPECT_TRUE(Cli_Vor17000::boPrimVez);  // the first pass did not pass
}

TEST_P(Confirmation, TheSecondPassReportsTheFirstEmptyField) {
    Open(CallerMode::Off);
    screen->medInscMuni.SetText("");
    Confirm();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Inscrição municipal deve ser informada."}));
    EXPECT_EQ(harness.Focus(), "medInscMuni");
    harness.host.events.clear();
    screen->medInscMuni.SetText("4587123");
    Confirm();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Série deve ser informada."}));
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
}

TEST_P(Confirmation, AnEmptyNextDateIsReportedOnTheDateField) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    TypeNextDate("");
    screen->medCdEmpresa.SetFocus();
    Confirm();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Próxima data de emissão deve ser informada."}));
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
}

TEST_P(Confirmation, AnIncompleteNextDateIsTheDateEditsOwnError) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    TypeNextDate("0101");
    Confirm();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"'01/01/    ' não é uma data válida."}));
    EXPECT_FALSE(Closed());
}

TEST_P(Confirmation, AFailedConfirmLeavesTheFirstPassOver) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("1");
    TypeNextDate("");
    Confirm();
    ASSERT_EQ(harness.Errors().size(), 1u);
    EXPECT_FALSE(Cli_Vor17000::boPrimVez);
    // Leaving the same location shows its last date and keeps the date typed; another
    // location shows its own dates, so that its date never moves back unseen.
    TypeNextDate("05072024");
    LeaveLocation("1");
    EXPECT_EQ(Last(), "30/06/2024");
    EXPECT_EQ(Next(), "05/07/2024");
    LeaveLocation("3");
    EXPECT_EQ(screen->edtDsLocal.Text(), "Depósito - Santos");
    EXPECT_EQ(Last(), "31/12/2024");
    EXPECT_EQ(Next(), "01/01/2025");
    EXPECT_FALSE(Cli_Vor17000::boPrimVez);
}

TEST_P(Confirmation, UnregisteredLocationIsReportedBeforeTheDates) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    screen->edtCdLocal.SetText("9");
    TypeNextDate("");
    Confirm();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Local de emissão não cadastrado."}));
    EXPECT_EQ(harness.Focus(), "edtCdLocal");
}

TEST_P(Confirmation, AFailureAfterTheStoreLeavesTheDateStored) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    TypeNextDate("02012024");
    harness.host.fail_cache_refresh = true;
    Confirm();
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"cache indisponível"}));
    EXPECT_EQ(ControlDate("CTRL01"), "2024-01-02 00:00:00");
    EXPECT_FALSE(Closed());
    EXPECT_EQ(harness.host.events.back().type, "exception");
    EXPECT_EQ(harness.host.events[harness.host.events.size() - 2].type, "idle");
}

TEST_P(Confirmation, ALatestInvoiceFailureHidesTheAnimationAndStoresNothing) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    TypeNextDate("31122023");
    harness.database.Execute("DROP TABLE NOTAFISCAL");
    harness.host.events.clear();
    Confirm();
    // Hidden before the error shows: by the animation's own end, and again by Confirm's guard.
    EXPECT_EQ(harness.host.Types(), (std::vector<std::string>{"busy", "idle", "idle", "exception"}));
    EXPECT_EQ(ControlDate("CTRL01"), "2023-12-31 00:00:00");
    EXPECT_FALSE(Closed());
}

// Another clerk's store lands between this screen showing the dates and its Confirm.
struct StoredMeanwhile {
    const char* series;
    const char* location;   // empty: numbered by the control
    const char* other_store;
    const char* message;
    const char* last_after;  // the last date shown once refused
    const char* typed;       // empty: the proposal is kept (processing date)
    const char* next;
    const char* stored_sql;
    const char* stored;
};

TEST_P(Confirmation, AStoreByAnotherClerkMeanwhileIsShownAndTheNextConfirmStores) {
    const StoredMeanwhile cases[] = {
        {"1", "", "UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2024-01-10 00:00:00' WHERE CDCTRLNUMENF = 'CTRL01'",
         "A data de emissão do controle CTRL01 foi alterada para 10/01/2024 enquanto esta tela estava aberta. "
         "Confira a data e confirme de novo.",
         "10/01/2024", "02012024", "02/01/2024", "SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL01'",
         "2024-01-02 00:00:00"},
        // The processing date is shown, not the stored value: it stays.
        {"5", "", "UPDATE CTRLNUMENF SET DTEMISCTNUNF = NULL WHERE CDCTRLNUMENF = 'CTRL05'",
         "A data de emissão do controle CTRL05 foi apagada enquanto esta tela estava aberta. Confira a data "
         "e confirme de novo.",
         "10/12/2024", "", "10/12/2024", "SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL05'",
         "2024-12-10 00:00:00"},
        {"7", "2", "UPDATE LOCALEMISSAO SET DTULTEMISLCE = '2024-07-01 00:00:00' WHERE CDLOCALEMIS = '0002'",
         "A data de emissão do local de emissão 0002 foi alterada para 01/07/2024 enquanto esta tela estava "
         "aberta. Confira a data e confirme de novo.",
         "01/07/2024", "02072024", "02/07/2024", "SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '0002'",
         "2024-07-02 00:00:00"},
    };
    for (const StoredMeanwhile& c : cases) {
        SCOPED_TRACE(c.series);  // each case has rows of its own
        Open(CallerMode::Off);
        LeaveSeries(c.series);
        if (*c.location != '\0') LeaveLocation(c.location);
        if (*c.typed != '\0') TypeNextDate(c.typed);
        harness.database.Execute(c.other_store);
        Confirm();
        EXPECT_EQ(harness.Errors(), (std::vector<std::string>{c.message}));
        EXPECT_FALSE(Closed());
        EXPECT_EQ(Last(), c.last_after);
        EXPECT_EQ(Next(), c.next);
        if (NextEnabled()) {
            EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
        }
        harness.host.events.clear();
        Confirm();
        EXPECT_TRUE(harness.Errors().empty()) << harness.Errors().front();
        EXPECT_EQ(harness.database.QueryText(c.stored_sql), c.stored);
        EXPECT_TRUE(Closed());
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Confirmation, testing_support::ScreenBackends(), testing_support::BackendName);

}  // namespace
