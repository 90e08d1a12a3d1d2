// The issue-date screen as it stands when created: controls, states, Tab order, typing rules.
#include <gtest/gtest.h>

#include "Cli_Vor17000.h"
#include "Pkg_Vor17000.h"
#include "frmDataEmissao.h"
#include "hostlib/application.h"
#include "core/utf8.h"
#include "support/recording_host.h"

namespace cli = Cli_Vor17000;
using namespace hostlib;

namespace {

class ScreenLayout : public ::testing::Test {
protected:
    ScreenLayout() : application(host) {
        Initialize();
        IniProc(Variant::Null());
        screen = cli::frmDataEmissao;
    }
    ~ScreenLayout() override {
        if (cli::boIdCriado) cli::frmDataEmissao->Close();
        application.ProcessReleases();
        Finalize();
    }
    std::string Focus() const { return screen->ActiveControl() ? screen->ActiveControl()->Name() : "(none)"; }
    void Type(const std::string& text) {
        for (char32_t key : utf8::Decode(text)) screen->UserKey(key);
    }

    testing_support::RecordingHost host;
    TApplication application;
    cli::TfrmDataEmissao* screen = nullptr;
};

struct Expected {
    const char* name;
    bool enabled;
    TColor color;
    bool tab_stop;
};

TEST_F(ScreenLayout, InitialStatesOfTheEditFields) {
    const Expected expected[] = {
        {"medCdEmpresa", true, TColor::clInfoBk, true},     {"edtNmEmpresa", false, TColor::clBtnFace, false},
        {"medInscEstad", true, TColor::clInfoBk, true},     {"medInscMuni", true, TColor::clInfoBk, true},
        {"edtCdSerie", true, TColor::clInfoBk, true},       {"edtCdLocal", false, TColor::clBtnFace, true},
        {"edtDsLocal", false, TColor::clBtnFace, false},    {"depDtUltEmiss", false, TColor::clBtnFace, false},
        {"medDiaSem", false, TColor::clBtnFace, false},     {"depProxDtEmiss", false, TColor::clInfoBk, true},
        {"medProxDiaSem", false, TColor::clBtnFace, false},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        auto* edit = screen->Find<TCustomEdit>(e.name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->Enabled(), e.enabled);
        EXPECT_EQ(edit->Color(), e.color);
        EXPECT_EQ(edit->TabStop, e.tab_stop);
        EXPECT_EQ(edit->Text(), "");
    }
}

TEST_F(ScreenLayout, LocationRowAndDateLabelsStartDisabled) {
    for (const char* name : {"lblLocal", "btpLocal", "lblDtprocessa", "lblProxData"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(screen->Find<TControl>(name)->Enabled());
    }
    for (const char* name :
         {"lblEmpresa", "btpEmpresa", "btpInscEstad", "btpInscMuni", "btpSerie", "panData", "sbtConfirma"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(screen->Find<TControl>(name)->Enabled());
    }
}

TEST_F(ScreenLayout, EveryControlLiesInsideItsContainerAndNoTwoFieldsOverlap) {
    // What a renderer draws where the layout says: a control outside its container is cut
    // off, and two fields on one spot hide one another.
    std::vector<const TControl*> fields;
    for (TComponent* component : screen->Components()) {
        const auto* control = dynamic_cast<const TControl*>(component);
        if (control == nullptr || control->Parent() == nullptr || control->Parent() == screen) continue;
        const TBounds& inner = control->Bounds;
        const TBounds& outer = control->Parent()->Bounds;
        if (control->Align == TAlign::alNone) {
            EXPECT_TRUE(inner.Left >= 0 && inner.Top >= 0 && inner.Left + inner.Width <= outer.Width &&
                        inner.Top + inner.Height <= outer.Height)
                << control->Name() << " outside " << control->Parent()->Name();
        }
        if (dynamic_cast<const TCustomEdit*>(control) != nullptr ||
            dynamic_cast<const TBtnPesquisa*>(control) != nullptr) {
            fields.push_back(control);
        }
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        for (std::size_t j = i + 1; j < fields.size(); ++j) {
            const TBounds& a = fields[i]->Bounds;
            const TBounds& b = fields[j]->Bounds;
            const bool apart = fields[i]->Parent() != fields[j]->Parent() || a.Left + a.Width <= b.Left ||
                               b.Left + b.Width <= a.Left || a.Top + a.Height <= b.Top || b.Top + b.Height <= a.Top;
            EXPECT_TRUE(apart) << fields[i]->Name() << " overlaps " << fields[j]->Name();
        }
    }
    EXPECT_GT(fields.size(), 10u);
}

TEST_F(ScreenLayout, LookupButtonsKnowTheirFieldTitleAndEmptyText) {
    struct Button {
        TBtnPesquisa& button;
        TCustomEdit& field;
        const char* title;
    } buttons[] = {
        {screen->btpEmpresa, screen->medCdEmpresa, "Empresa"},
        {screen->btpInscEstad, screen->medInscEstad, "Inscrição Estadual"},
        {screen->btpInscMuni, screen->medInscMuni, "Inscrição Municipal"},
        {screen->btpSerie, screen->edtCdSerie, "Série de Documentos de Saída"},
        {screen->btpLocal, screen->edtCdLocal, "Local de Emissão"},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.title);
        EXPECT_EQ(b.button.Associate, &b.field);
        EXPECT_EQ(b.button.Title, b.title);
        EXPECT_EQ(b.button.Hint, "Pesquisar");
        EXPECT_FALSE(b.button.EmptyText.empty());
    }
    EXPECT_EQ(screen->btpSerie.EmptyText,
              "Não há série de documentos de saída cadastrada para a inscrição estadual informada.");
}

TEST_F(ScreenLayout, FocusStartsOnTheCompanyAndTabVisitsTheRowsThenTheDatePanel) {
    EXPECT_EQ(Focus(), "medCdEmpresa");
    std::vector<std::string> order;
    for (TWinControl* control : screen->TabSequence(TForm::Sequence::OnlyFocusable)) order.push_back(control->Name());
    EXPECT_EQ(order,
              (std::vector<std::string>{"medCdEmpresa", "medInscEstad", "medInscMuni", "edtCdSerie", "panData"}));
    std::vector<std::string> visited;
    for (int i = 0; i < 4; ++i) {
        screen->UserTab(TabDirection::Forward);
        visited.push_back(Focus());
    }
    // The panel never keeps the focus: with no series it sends it back to the company.
    EXPECT_EQ(visited, (std::vector<std::string>{"medInscEstad", "medInscMuni", "edtCdSerie", "medCdEmpresa"}));
}

TEST_F(ScreenLayout, EnabledLocationAndDateComeInTheirTabOrder) {
    screen->edtCdLocal.SetEnabled(true);
    screen->depProxDtEmiss.SetEnabled(true);
    std::vector<std::string> order;
    for (TWinControl* control : screen->TabSequence(TForm::Sequence::OnlyFocusable)) order.push_back(control->Name());
    EXPECT_EQ(order, (std::vector<std::string>{"medCdEmpresa", "medInscEstad", "medInscMuni", "edtCdSerie", "panData",
                                               "depProxDtEmiss", "edtCdLocal"}));
}

TEST_F(ScreenLayout, TypingRulesOfTheCodeFields) {
    Type("a1b23");
    EXPECT_EQ(screen->medCdEmpresa.Text(), "12");
    // Program focus moves: no exit handler (and so no lookup) runs between the fields.
    screen->medInscEstad.SetFocus();
    Type("abc-123456789012345");
    EXPECT_EQ(screen->medInscEstad.Text(), "ABC-123456789012");
    screen->medInscMuni.SetFocus();
    Type("Inscrição municipal sem limite 123456789");
    EXPECT_EQ(screen->medInscMuni.Text(), "Inscrição municipal sem limite 123456789");
    screen->edtCdSerie.SetFocus();
    Type("ab12x9");
    EXPECT_EQ(screen->edtCdSerie.Text(), "AB12X");
    screen->edtCdLocal.SetEnabled(true);
    screen->edtCdLocal.SetFocus();
    Type("00012");
    EXPECT_EQ(screen->edtCdLocal.Text(), "0001");
}

TEST_F(ScreenLayout, DisabledFieldsTakeNoFocusAndNoKeys) {
    screen->UserFocus(screen->edtCdLocal);
    screen->UserFocus(screen->depProxDtEmiss);
    screen->UserClick(screen->btpLocal);
    EXPECT_EQ(Focus(), "medCdEmpresa");
}

}  // namespace
