// Edits with a caret and a selection: typing, erasing, moving, pasting and what focus moves
// select, for the plain edit, the digit mask and the date template.
#include <gtest/gtest.h>

#include <sstream>

#include "hostlib/application.h"
#include "hostlib/services.h"
#include "core/utf8.h"
#include "support/recording_host.h"

using namespace hostlib;

namespace {

class EditForm : public TForm {
public:
    explicit EditForm(TComponent* owner)
        : TForm(owner, "frmEdits"),
          upper(Create<TEdit>("upper")),
          code(Create<TMaskEdit>("code")),
          date(Create<TDateEditPlus>("date")),
          other(Create<TEdit>("other")) {
        upper.SetParent(this);
        upper.CharCase = TEditCharCase::ecUpperCase;
        upper.MaxLength = 5;
        upper.TabOrder = 0;
        code.SetParent(this);
        code.SetEditMask("99;0; ");
        code.MaxLength = 2;
        code.TabOrder = 1;
        date.SetParent(this);
        date.TabOrder = 2;
        other.SetParent(this);
        other.TabOrder = 3;
    }
    TEdit& upper;
    TMaskEdit& code;
    TDateEditPlus& date;
    TEdit& other;
};

// One script of keys on one edit: what it starts with, the keys, and what it ends with.
struct KeyScript {
    const char* name;
    const char* edit;
    const char* text;      // set by the program before the keys
    std::size_t anchor;    // then this selection
    std::size_t caret;
    const char* keys;      // separated by one blank: type:TEXT paste:TEXT bs del home end left right
                           // shift+home shift+end shift+left shift+right all
    const char* expected;  // the text after the keys
    std::size_t sel_start;
    std::size_t sel_length;
    int changes;  // OnChange runs during the keys
};

class EditKeys : public ::testing::TestWithParam<KeyScript> {
protected:
    EditKeys() : application(host) { application.CreateForm(form); }

    void Press(TForm& target, const std::string& key) {
        const auto arg = [&](const char* prefix) { return key.substr(std::string(prefix).size()); };
        if (key.rfind("type:", 0) == 0) {
            for (char32_t ch : utf8::Decode(arg("type:"))) target.UserKey(ch);
        } else if (key.rfind("paste:", 0) == 0) {
            target.UserPaste(arg("paste:"));
        } else if (key == "bs") {
            target.UserKey(kKeyBackspace);
        } else if (key == "all") {
            target.UserSelectAll();
        } else {
            const bool shift = key.rfind("shift+", 0) == 0;
            const std::string name = shift ? arg("shift+") : key;
            const TEditKey edit_key = name == "home"   ? TEditKey::Home
                                      : name == "end"  ? TEditKey::End
                                      : name == "left" ? TEditKey::Left
                                      : name == "right" ? TEditKey::Right
                                                        : TEditKey::Delete;
            ASSERT_TRUE(name == "home" || name == "end" || name == "left" || name == "right" || name == "del") << key;
            target.UserEditKey(edit_key, shift ? TSelectionMode::Extend : TSelectionMode::Move);
        }
    }

    testing_support::RecordingHost host;
    TApplication application;
    EditForm* form = nullptr;
};

TEST_P(EditKeys, EndWithTheTextAndSelectionExpected) {
    const KeyScript& script = GetParam();
    auto& edit = *form->Find<TCustomEdit>(script.edit);
    edit.SetText(script.text);
    edit.SetFocus();
    edit.Select(script.anchor, script.caret);
    int changes = 0;
    edit.OnChange = [&](TObject&) { ++changes; };
    std::istringstream keys(script.keys);
    // Split at blanks only: a pasted text may hold tabs and line ends.
    for (std::string key; std::getline(keys, key, ' ');) Press(*form, key);
    EXPECT_EQ(edit.Text(), script.expected);
    EXPECT_EQ(edit.SelStart(), script.sel_start);
    EXPECT_EQ(edit.SelLength(), script.sel_length);
    EXPECT_EQ(edit.SelText(), edit.Text().substr(edit.SelStart(), edit.SelLength()));
    EXPECT_EQ(changes, script.changes);
}

// Texts of one-byte characters keep SelText checkable by substr; "ÁÇÃ" below checks bytes.
const KeyScript kScripts[] = {
    // Plain edit, upper case, at most five characters.
    {"TypeInsertsAtTheCaret", "upper", "AB", 2, 2, "home type:x", "XAB", 1, 0, 1},
    {"TypeReplacesTheSelection", "upper", "ABCDE", 0, 5, "type:z", "Z", 1, 0, 1},
    {"AFullEditRefusesAKeyAndChangesNothing", "upper", "ABCDE", 5, 5, "type:z", "ABCDE", 5, 0, 0},
    {"ShiftArrowsThenType", "upper", "ABCD", 4, 4, "shift+left shift+left type:x", "ABX", 3, 0, 1},
    {"ShiftHomeThenDelete", "upper", "ABCD", 2, 2, "shift+home del", "CD", 0, 0, 1},
    {"LeftDropsTheSelectionAtItsStart", "upper", "ABCD", 1, 3, "left", "ABCD", 1, 0, 0},
    {"RightDropsTheSelectionAtItsEnd", "upper", "ABCD", 3, 1, "right", "ABCD", 3, 0, 0},
    {"BackspaceTakesTheSelection", "upper", "ABCD", 1, 3, "bs", "AD", 1, 0, 1},
    {"DeleteTakesTheCharacterAfterTheCaret", "upper", "ABCD", 1, 1, "del del", "AD", 1, 0, 2},
    {"KeysAtTheEdgesChangeNothing", "upper", "AB", 0, 0, "bs left home", "AB", 0, 0, 0},
    {"PasteDropsWhatDoesNotFit", "upper", "AB", 0, 2, "paste:hello\tworld", "HELLO", 5, 0, 1},
    {"PasteSkipsLineEnds", "upper", "", 0, 0, "paste:a\nb", "AB", 2, 0, 1},
    {"ShiftEndFromTheMiddle", "upper", "ABCD", 1, 1, "shift+end", "ABCD", 1, 3, 0},
    {"SelectAllThenType", "upper", "ABCD", 2, 2, "all type:q", "Q", 1, 0, 1},
    // The company code: digits only, two at most, inserting like a plain edit.
    {"DigitMaskInsertsAtTheCaret", "code", "1", 1, 1, "home type:2", "21", 1, 0, 1},
    {"DigitMaskRefusesLettersAndAThirdDigit", "code", "12", 2, 2, "type:a type:3", "12", 2, 0, 0},
    {"DigitMaskPasteKeepsTheDigitsThatFit", "code", "", 0, 0, "paste:3x45", "34", 2, 0, 1},
    // The date template: digits overtype, literals are stepped over.
    {"TypingOverASelectedDate", "date", "01/01/2024", 0, 10, "type:02012024", "02/01/2024", 10, 0, 8},
    {"HomeThenADigitOvertypes", "date", "01/01/2024", 10, 10, "home type:3", "31/01/2024", 1, 0, 1},
    {"TypingOverPartOfTheDate", "date", "01/01/2024", 3, 5, "type:1", "01/1 /2024", 4, 0, 1},
    {"ATenthDigitFindsNoPlace", "date", "01/01/2024", 10, 10, "type:5", "01/01/2024", 10, 0, 0},
    {"BackspaceStepsOverALiteral", "date", "01/01/2024", 6, 6, "bs", "01/0 /2024", 4, 0, 1},
    {"BackspaceBlanksWithoutShifting", "date", "01/01/2024", 10, 10, "bs bs", "01/01/20  ", 8, 0, 2},
    {"DeleteAtALiteralBlanksTheNextDigit", "date", "01/01/2024", 2, 2, "del", "01/ 1/2024", 2, 0, 1},
    {"DeleteBlanksTheSelection", "date", "01/01/2024", 0, 5, "del", "  /  /2024", 0, 0, 1},
    {"ErasingEveryDigitLeavesNoText", "date", "01/01/2024", 0, 10, "bs", "", 0, 0, 1},
    {"PastingADateOverTheSelection", "date", "01/01/2024", 0, 10, "paste:15/03/2024", "15/03/2024", 10, 0, 1},
    {"PastingNoDigitChangesNothing", "date", "01/01/2024", 0, 10, "paste:abc", "01/01/2024", 0, 10, 0},
};

INSTANTIATE_TEST_SUITE_P(Scripts, EditKeys, ::testing::ValuesIn(kScripts),
                         [](const auto& script) { return std::string(script.param.name); });

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
