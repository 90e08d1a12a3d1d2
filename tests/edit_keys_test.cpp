// Scripts of keys on one edit at a time: typing, erasing, moving and pasting at the caret and
// over the selection, and the text, selection and changes they end with.
#include <gtest/gtest.h>

#include <sstream>

#include "hostlib/application.h"
#include "hostlib/services.h"
#include "core/utf8.h"
#include "support/edit_form.h"
#include "support/recording_host.h"

using namespace hostlib;

namespace {

using testing_support::EditForm;

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

}  // namespace
