// Edits with a caret and a selection: characters not bytes, what focus moves select, the key
// preview and cutting, for the plain edit, the digit mask and the date template.
#include <gtest/gtest.h>

#include "hostlib/application.h"
#include "hostlib/services.h"
#include "core/utf8.h"
#include "support/edit_form.h"
#include "support/recording_host.h"

using namespace hostlib;

namespace {

using testing_support::EditForm;

class EditCaret : public ::testing::Test {
protected:
    EditCaret() : application(host) {
        application.CreateForm(form);
        form->Show();
    }
    testing_support::RecordingHost host;
    TApplication application;
    EditForm* form = nullptr;
};

TEST_F(EditCaret, PositionsCountCharactersNotBytes) {
    form->other.SetText("ÁÇÃ");
    form->other.SetFocus();
    form->UserEditKey(TEditKey::End, TSelectionMode::Move);
    form->UserEditKey(TEditKey::Left, TSelectionMode::Move);
    form->UserEditKey(TEditKey::Left, TSelectionMode::Extend);
    EXPECT_EQ(form->other.SelStart(), 1u);
    EXPECT_EQ(form->other.SelText(), "Ç");
    form->UserKey(U'é');
    EXPECT_EQ(form->other.Text(), "ÁéÃ");
    EXPECT_EQ(form->other.CaretPosition(), 2u);
    form->UserEditKey(TEditKey::Delete, TSelectionMode::Move);
    EXPECT_EQ(form->other.Text(), "Áé");
}

TEST_F(EditCaret, FocusMovesThatSelectEverything) {
    form->upper.SetText("AB");
    form->code.SetText("12");
    form->date.SetText("01/02/2024");
    form->UserTab(TabDirection::Forward);  // Tab
    EXPECT_EQ(form->code.SelStart(), 0u);
    EXPECT_EQ(form->code.SelLength(), 2u);
    EXPECT_EQ(form->code.CaretPosition(), 2u);  // a select-all leaves the caret at the end
    form->UserTab(TabDirection::Backward);  // Shift+Tab
    EXPECT_EQ(form->upper.SelLength(), 2u);
    form->date.SetFocus();  // the program's move to another control
    EXPECT_EQ(form->date.SelLength(), 10u);
    // An exit handler giving the focus back to the field being left: all selected again.
    form->date.Select(3, 3);
    form->date.OnExit = [&](TObject&) { form->date.SetFocus(); };
    form->UserTab(TabDirection::Forward);
    EXPECT_EQ(form->ActiveControl(), &form->date);
    EXPECT_EQ(form->date.SelLength(), 10u);
}

TEST_F(EditCaret, FocusMovesThatKeepOrPlaceTheCaret) {
    form->upper.SetText("ABCD");
    form->upper.SetFocus();
    form->upper.Select(1, 3);
    form->upper.SetFocus();  // already focused: the selection stays
    EXPECT_EQ(form->upper.SelStart(), 1u);
    EXPECT_EQ(form->upper.SelLength(), 2u);
    form->other.SetText("xyz");
    form->UserFocus(form->other);  // a click after the last character
    EXPECT_EQ(form->other.SelLength(), 0u);
    EXPECT_EQ(form->other.CaretPosition(), 3u);
    form->other.Select(0, 1);
    form->other.SetText("longer");  // the program's text: caret at its end
    EXPECT_EQ(form->other.SelLength(), 0u);
    EXPECT_EQ(form->other.CaretPosition(), 6u);
}

TEST_F(EditCaret, OnlyCharacterKeysPassTheKeyPreview) {
    form->KeyPreview = true;
    std::vector<char32_t> seen;
    form->OnKeyPress = [&](TObject&, char32_t& key) { seen.push_back(key); };
    form->upper.SetText("AB");
    form->upper.SetFocus();
    form->UserEditKey(TEditKey::Left, TSelectionMode::Move);
    form->UserEditKey(TEditKey::Delete, TSelectionMode::Move);
    form->UserSelectAll();
    form->UserPaste("x");
    form->UserKey(kKeyBackspace);
    EXPECT_EQ(seen, (std::vector<char32_t>{kKeyBackspace}));
}

TEST_F(EditCaret, CutTakesTheSelectionAsOneChange) {
    int changes = 0;
    form->upper.OnChange = [&](TObject&) { ++changes; };
    form->upper.SetText("ABCD");
    form->upper.SetFocus();
    form->upper.Select(1, 3);
    EXPECT_EQ(form->UserCut(), "BC");
    EXPECT_EQ(form->upper.Text(), "AD");
    EXPECT_EQ(form->UserCut(), "");  // nothing selected: nothing taken
    EXPECT_EQ(changes, 2);           // the program's text, then the cut
}

}  // namespace
