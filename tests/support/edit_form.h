#pragma once
// A form of four edits in tab order: an upper-case edit of five characters, a two-digit mask,
// a date template and a plain edit, for the tests of typing at the caret.
#include "hostlib/controls.h"
#include "hostlib/form.h"

namespace testing_support {

class EditForm : public hostlib::TForm {
public:
    explicit EditForm(hostlib::TComponent* owner)
        : hostlib::TForm(owner, "frmEdits"),
          upper(Create<hostlib::TEdit>("upper")),
          code(Create<hostlib::TMaskEdit>("code")),
          date(Create<hostlib::TDateEditPlus>("date")),
          other(Create<hostlib::TEdit>("other")) {
        upper.SetParent(this);
        upper.CharCase = hostlib::TEditCharCase::ecUpperCase;
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
    hostlib::TEdit& upper;
    hostlib::TMaskEdit& code;
    hostlib::TDateEditPlus& date;
    hostlib::TEdit& other;
};

}  // namespace testing_support
