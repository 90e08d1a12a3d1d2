#pragma once
// The visual controls of the retained control model. A renderer observes them through the
// form's observer; the screen's logic only reads and writes their properties and events.
#include <functional>
#include <string>
#include <vector>

#include "hostlib/component.h"
#include "hostlib/datetime.h"

namespace hostlib {

class TForm;
class TWinControl;

enum class TColor { clBtnFace, clInfoBk, clWindow, clWindowText, clBlue };
const char* ColorName(TColor color);

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

struct TBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

class TControl : public TComponent {
public:
    TControl(TComponent* owner, std::string name);
    ~TControl() override;

    TWinControl* Parent() const { return parent_; }
    void SetParent(TWinControl* parent);
    TForm* ParentForm() const;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption);

    // What the control shows: the caption, or an edit's text.
    virtual std::string Text() const { return caption_; }
    // Enabled and visible here and in every parent up to the form.
    bool IsShowingAndEnabled() const;
    // A click by the user on an enabled control.
    virtual void Click();

    TBounds Bounds;
    TAlign Align = TAlign::alNone;
    bool FontBold = false;
    std::string Hint;
    TNotifyEvent OnClick;

protected:
    // Tells the form's observer (the renderer) that something shown has changed.
    void Changed();

private:
    TWinControl* parent_ = nullptr;
    bool enabled_ = true;
    bool visible_ = true;
    TColor color_ = TColor::clBtnFace;
    std::string caption_;
};

// A control that can hold children and, if it is a focus target, the focus.
class TWinControl : public TControl {
public:
    using TControl::TControl;
    ~TWinControl() override;

    const std::vector<TControl*>& Controls() const { return children_; }
    // Children with a tab order, sorted by it.
    std::vector<TWinControl*> TabChildren() const;

    // Whether a click or Tab may give this control the focus at all.
    virtual bool IsFocusTarget() const { return false; }
    // A focus target that is showing and enabled.
    bool CanFocus() const { return IsFocusTarget() && IsShowingAndEnabled(); }
    bool Focused() const;
    // A program's focus move: runs no exit or enter handler; ignored when it cannot focus.
    void SetFocus();

    int TabOrder = 0;
    bool TabStop = false;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

private:
    friend class TControl;
    std::vector<TControl*> children_;
};

enum class TEditCharCase { ecNormal, ecUpperCase };

class TCustomEdit : public TWinControl {
public:
    TCustomEdit(TComponent* owner, std::string name);

    std::string Text() const override { return text_; }
    // Runs OnChange when the text differs from what the edit holds; the same text runs nothing.
    void SetText(std::string text);
    void Clear() { SetText(""); }
    bool IsFocusTarget() const override { return true; }

    // One keystroke typed by the user; false when the edit refused it (nothing changed).
    // Each accepted keystroke is one change (OnChange runs once).
    bool Keystroke(char32_t key);

    int MaxLength = 0;  // characters; 0 is no limit
    TEditCharCase CharCase = TEditCharCase::ecNormal;
    TNotifyEvent OnChange;

protected:
    // Applies one keystroke to the text, leaving it in the edit's own form, and tells no one;
    // false when the keystroke is refused. The text is edited in place and its length is kept,
    // so a keystroke costs the same however much has been typed already.
    virtual bool ApplyKey(char32_t key);
    // For ApplyKey: puts `text` in place of the text; false when it is the same.
    bool ReplaceText(std::string text);
    // The edit's own form of a text written by the program.
    virtual std::string Normalized(std::string text) const { return text; }
    // Whether a printable character may go at character position `position`.
    virtual bool Accepts(char32_t key, std::size_t position) const;

private:
    void NotifyChange();

    std::string text_;
    std::size_t length_ = 0;  // utf8::Length(text_)
};

class TEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
};

// An edit with an input mask. Only digit positions ("9" optional, "0" required) and
// free positions are understood, which is what this system's masks use.
class TMaskEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    void SetEditMask(std::string mask);
    const std::string& EditMask() const { return edit_mask_; }

protected:
    bool Accepts(char32_t key, std::size_t position) const override;

private:
    std::string edit_mask_;
    std::string positions_;  // the mask's first field: one character per position
};

// A date edit over the mask "dd/mm/yyyy": typed digits fill the positions in order.
class TDateEditPlus : public TCustomEdit {
public:
    TDateEditPlus(TComponent* owner, std::string name);

    // The date shown, or 0 for an empty edit or a text that is no complete valid date.
    TDateTime GetDate() const;
    // 0 empties the edit; any other value shows its date (the time of day is dropped).
    void SetDate(TDateTime date);
    // Accepts "" and complete valid dates; raises EConvertError for anything else.
    void CheckValidDate() const;

    std::vector<std::string> WeekdayNames;
    TColor ValidDateColor = TColor::clBlue;

protected:
    bool ApplyKey(char32_t key) override;
    std::string Normalized(std::string text) const override;
};

class TLabel : public TControl {
public:
    using TControl::TControl;
    TWinControl* FocusControl = nullptr;
};

enum class TBevelShape { bsBox, bsTopLine, bsBottomLine };

class TBevel : public TControl {
public:
    using TControl::TControl;
    TBevelShape Shape = TBevelShape::bsBox;
};

class TPanel : public TWinControl {
public:
    using TWinControl::TWinControl;
    // A panel takes the focus itself only when it is a tab stop.
    bool IsFocusTarget() const override { return TabStop; }
    bool BevelOuter = true;
};

class TGroupBox : public TWinControl {
public:
    using TWinControl::TWinControl;
};

// A flat button never takes the focus: clicking it leaves the focused field where it is.
class TButtonFlat : public TControl {
public:
    using TControl::TControl;
};

class TDataSource;

// Before a lookup: the handler may set `proceed` false to call it off.
using TBeforePesqEvent = std::function<void(TObject& sender, bool& proceed)>;

// A lookup button beside an input field. A click runs the before-lookup handler, opens the
// listed dataset if it is closed, and shows its empty-list text or lists the visible fields
// of every row under its title; on a choice the row becomes current, the after-lookup
// handler runs and the associated field gets the focus. Cancelling changes nothing.
class TBtnPesquisa : public TControl {
public:
    using TControl::TControl;
    void Click() override;

    std::string Title;
    std::string EmptyText;
    TCustomEdit* Associate = nullptr;
    TDataSource* DataSource = nullptr;
    TBeforePesqEvent OnBeforePesq;
    TNotifyEvent OnAfterPesq;
};

}  // namespace hostlib
