// The control model's rules: changes, typing, focus moves and Tab order.
#include <gtest/gtest.h>

#include "hostlib/application.h"
#include "core/exceptions.h"
#include "hostlib/services.h"
#include "support/recording_host.h"

using namespace hostlib;

namespace {

// A small form: two code edits, a disabled edit, a display edit out of the Tab order,
// a flat button and a tab-stop panel holding a date edit and a display edit.
class SampleForm : public TForm {
public:
    explicit SampleForm(TComponent* owner)
        : TForm(owner, "frmSample"),
          box(Create<TGroupBox>("box")),
          code(Create<TMaskEdit>("code")),
          name(Create<TEdit>("name")),
          upper(Create<TEdit>("upper")),
          off(Create<TEdit>("off")),
          panel(Create<TPanel>("panel")),
          date(Create<TDateEditPlus>("date")),
          inside(Create<TEdit>("inside")),
          button(Create<TButtonFlat>("button")) {
        box.SetParent(this);
        code.SetParent(&box);
        code.TabOrder = 0;
        code.SetEditMask("99;0; ");
        code.MaxLength = 2;
        name.SetParent(&box);
        name.TabOrder = 1;
        name.TabStop = false;
        upper.SetParent(&box);
        upper.TabOrder = 2;
        upper.CharCase = TEditCharCase::ecUpperCase;
        upper.MaxLength = 3;
        off.SetParent(&box);
        off.TabOrder = 3;
        off.SetEnabled(false);
        panel.SetParent(&box);
        panel.TabOrder = 4;
        panel.TabStop = true;
        date.SetParent(&panel);
        date.TabOrder = 0;
        inside.SetParent(&panel);
        inside.TabOrder = 1;
        button.SetParent(this);
    }
    TGroupBox& box;
    TMaskEdit& code;
    TEdit& name;
    TEdit& upper;
    TEdit& off;
    TPanel& panel;
    TDateEditPlus& date;
    TEdit& inside;
    TButtonFlat& button;
};

class ControlModel : public ::testing::Test {
protected:
    ControlModel() : application(host) {
        application.CreateForm(form);
        form->Show();
    }
    std::string Focus() const { return form->ActiveControl() ? form->ActiveControl()->Name() : "(none)"; }
    void Type(const std::string& text) {
        for (char c : text) form->UserKey(static_cast<unsigned char>(c));
    }

    testing_support::RecordingHost host;
    TApplication application;
    SampleForm* form = nullptr;
};

TEST_F(ControlModel, ChangeRunsOnlyWhenTheTextDiffers) {
    int changes = 0;
    form->name.OnChange = [&](TObject&) { ++changes; };
    form->name.SetText("ACME");
    form->name.SetText("ACME");
    EXPECT_EQ(changes, 1);
    form->name.Clear();
    form->name.Clear();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(form->name.Text(), "");
}

TEST_F(ControlModel, ProgramWritesCascadeThroughChangeHandlers) {
    std::vector<std::string> order;
    form->code.OnChange = [&](TObject&) {
        order.push_back("code");
        form->upper.Clear();
    };
    form->upper.OnChange = [&](TObject&) {
        order.push_back("upper");
        form->inside.Clear();
    };
    form->inside.OnChange = [&](TObject&) { order.push_back("inside"); };
    form->upper.SetText("AB");
    form->inside.SetText("x");
    order.clear();
    form->code.SetText("01");
    EXPECT_EQ(order, (std::vector<std::string>{"code", "upper", "inside"}));
    // An already empty field stops the cascade.
    order.clear();
    form->code.SetText("02");
    EXPECT_EQ(order, (std::vector<std::string>{"code"}));
}

TEST_F(ControlModel, DigitMaskAcceptsOnlyDigitsUpToItsLength) {
    int changes = 0;
    form->code.OnChange = [&](TObject&) { ++changes; };
    Type("a1-2 3");
    EXPECT_EQ(form->code.Text(), "12");
    EXPECT_EQ(changes, 2);  // one change per accepted keystroke
    form->UserKey(kKeyBackspace);
    EXPECT_EQ(form->code.Text(), "1");
    EXPECT_EQ(changes, 3);
}

TEST_F(ControlModel, UpperCaseAndMaximumLengthCountCharacters) {
    form->upper.SetFocus();
    form->UserKey(U'a');
    form->UserKey(U'ç');
    form->UserKey(U'é');
    form->UserKey(U'z');  // past the maximum length
    EXPECT_EQ(form->upper.Text(), "AÇÉ");
    form->UserKey(kKeyBackspace);
    EXPECT_EQ(form->upper.Text(), "AÇ");
    // A program's write is not filtered by the typing rules.
    form->upper.SetText("lower case");
    EXPECT_EQ(form->upper.Text(), "lower case");
    form->UserKey(U'x');
    EXPECT_EQ(form->upper.Text(), "lower case");
    // The count follows program writes and erasures, in characters.
    form->upper.SetText("ãé");
    Type("xy");
    EXPECT_EQ(form->upper.Text(), "ãéX");
    for (int i = 0; i < 3; ++i) form->UserKey(kKeyBackspace);
    Type("abcd");
    EXPECT_EQ(form->upper.Text(), "ABC");
    // Bytes that are not UTF-8 are read as Windows-1252: two characters, two backspaces.
    form->upper.SetText("\x80\x80");
    EXPECT_EQ(form->upper.Text(), "€€");
    form->UserKey(kKeyBackspace);
    EXPECT_EQ(form->upper.Text(), "€");
    form->UserKey(kKeyBackspace);
    Type("abcd");
    EXPECT_EQ(form->upper.Text(), "ABC");
}

TEST_F(ControlModel, DateEditLaysDigitsIntoItsMask) {
    form->panel.SetFocus();
    form->date.SetFocus();
    std::vector<std::string> seen;
    form->date.OnChange = [&](TObject&) { seen.push_back(form->date.Text()); };
    Type("3/1");
    EXPECT_EQ(seen, (std::vector<std::string>{"3 /  /    ", "31/  /    "}));
    EXPECT_EQ(form->date.GetDate(), 0.0);
    EXPECT_THROW(form->date.CheckValidDate(), EConvertError);
    Type("122024x9");
    EXPECT_EQ(form->date.Text(), "31/12/2024");  // a ninth digit finds no place
    EXPECT_EQ(form->date.GetDate(), EncodeDate(2024, 12, 31));
    EXPECT_NO_THROW(form->date.CheckValidDate());
    form->UserKey(kKeyBackspace);
    EXPECT_EQ(form->date.Text(), "31/12/202 ");
    form->UserClear();
    EXPECT_EQ(form->date.Text(), "");
    EXPECT_NO_THROW(form->date.CheckValidDate());
}

TEST_F(ControlModel, DateEditRefusesDatesThatDoNotExist) {
    form->date.SetText("31022024");
    EXPECT_EQ(form->date.Text(), "31/02/2024");
    EXPECT_EQ(form->date.GetDate(), 0.0);
    try {
        form->date.CheckValidDate();
        FAIL() << "31/02/2024 accepted";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'31/02/2024' não é uma data válida.");
    }
    form->date.SetDate(EncodeDate(2024, 2, 29) + 0.5);
    EXPECT_EQ(form->date.Text(), "29/02/2024");
    form->date.SetDate(0);
    EXPECT_EQ(form->date.Text(), "");
}

TEST_F(ControlModel, ShownFormFocusesItsFirstTabStop) { EXPECT_EQ(Focus(), "code"); }

TEST_F(ControlModel, UserMoveRunsExitThenEnter) {
    std::vector<std::string> order;
    form->code.OnExit = [&](TObject&) { order.push_back("exit code"); };
    form->upper.OnEnter = [&](TObject&) { order.push_back("enter upper"); };
    form->UserFocus(form->upper);
    EXPECT_EQ(order, (std::vector<std::string>{"exit code", "enter upper"}));
    EXPECT_EQ(Focus(), "upper");
}

TEST_F(ControlModel, AbortingExitKeepsTheFocusSilently) {
    bool entered = false;
    form->code.OnExit = [&](TObject&) { MensErro("Empresa não cadastrada."); };
    form->upper.OnEnter = [&](TObject&) { entered = true; };
    form->UserFocus(form->upper);
    EXPECT_EQ(Focus(), "code");
    EXPECT_FALSE(entered);
    EXPECT_EQ(host.Types(), (std::vector<std::string>{"error"}));
}

TEST_F(ControlModel, FailingExitGoesToTheErrorDisplayAndKeepsTheFocus) {
    form->code.OnExit = [&](TObject&) { throw Exception("falha do banco"); };
    form->UserTab(TabDirection::Forward);
    EXPECT_EQ(Focus(), "code");
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].type, "exception");
    EXPECT_EQ(host.events[0].text, "falha do banco");
}

TEST_F(ControlModel, ExitThatMovesTheFocusWinsOverTheUsersTarget) {
    bool entered = false;
    form->upper.OnEnter = [&](TObject&) { entered = true; };
    form->code.OnExit = [&](TObject&) { form->inside.SetFocus(); };
    form->UserFocus(form->upper);
    EXPECT_EQ(Focus(), "inside");
    EXPECT_FALSE(entered);
}

TEST_F(ControlModel, GuardGivingTheFocusBackThenRaisingKeepsIt) {
    form->UserFocus(form->upper);
    form->upper.OnExit = [&](TObject&) {
        form->upper.SetFocus();
        MensErro("Inscrição estadual não cadastrada.");
    };
    form->UserTab(TabDirection::Forward);
    EXPECT_EQ(Focus(), "upper");
}

TEST_F(ControlModel, ProgramFocusRunsNoHandlersAndIgnoresDisabledTargets) {
    int handlers = 0;
    form->code.OnExit = [&](TObject&) { ++handlers; };
    form->upper.OnEnter = [&](TObject&) { ++handlers; };
    form->upper.SetFocus();
    EXPECT_EQ(Focus(), "upper");
    EXPECT_EQ(handlers, 0);
    EXPECT_NO_THROW(form->off.SetFocus());
    EXPECT_EQ(Focus(), "upper");
    form->panel.SetEnabled(false);
    form->date.SetFocus();  // its container is disabled
    EXPECT_EQ(Focus(), "upper");
}

TEST_F(ControlModel, TabSkipsDisabledAndNonTabStopsAndEntersATabStopPanel) {
    bool panel_entered = false;
    form->panel.OnEnter = [&](TObject&) { panel_entered = true; };
    std::vector<std::string> visited;
    for (int i = 0; i < 5; ++i) {
        form->UserTab(TabDirection::Forward);
        visited.push_back(Focus());
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"upper", "panel", "date", "inside", "code"}));
    EXPECT_TRUE(panel_entered);
    form->UserTab(TabDirection::Backward);
    EXPECT_EQ(Focus(), "inside");
}

TEST_F(ControlModel, TabPassesOverADisabledContainer) {
    form->panel.SetEnabled(false);
    form->UserTab(TabDirection::Forward);
    form->UserTab(TabDirection::Forward);
    EXPECT_EQ(Focus(), "code");
}

TEST_F(ControlModel, ClickingADisabledControlDoesNothing) {
    form->UserClick(form->off);
    EXPECT_EQ(Focus(), "code");
    int clicks = 0;
    form->button.OnClick = [&](TObject&) { ++clicks; };
    form->button.SetEnabled(false);
    form->UserClick(form->button);
    EXPECT_EQ(clicks, 0);
}

TEST_F(ControlModel, FlatButtonClickLeavesTheFocusAndRunsNoExit) {
    bool exited = false;
    int clicks = 0;
    form->code.OnExit = [&](TObject&) { exited = true; };
    form->button.OnClick = [&](TObject&) { ++clicks; };
    form->UserClick(form->button);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(exited);
    EXPECT_EQ(Focus(), "code");
}

TEST_F(ControlModel, KeyPreviewSeesEveryKeyFirstAndMayDiscardIt) {
    form->KeyPreview = true;
    std::vector<char32_t> seen;
    form->OnKeyPress = [&](TObject&, char32_t& key) {
        seen.push_back(key);
        if (key == kKeyEscape || key == U'9') key = 0;
    };
    form->code.SetText("1");
    EXPECT_FALSE(form->UserKey(kKeyEscape));
    EXPECT_FALSE(form->UserKey(U'9'));
    EXPECT_TRUE(form->UserKey(U'2'));
    EXPECT_FALSE(form->UserKey(U'3'));  // seen, then refused by the full edit
    EXPECT_EQ(seen, (std::vector<char32_t>{kKeyEscape, U'9', U'2', U'3'}));
    EXPECT_EQ(form->code.Text(), "12");
}

TEST_F(ControlModel, FindComponentIgnoresCase) {
    EXPECT_EQ(form->FindComponent("CODE"), &form->code);
    EXPECT_EQ(form->FindComponent("missing"), nullptr);
    EXPECT_EQ(form->code.Owner(), form);
    EXPECT_EQ(form->date.ParentForm(), form);
}

}  // namespace
