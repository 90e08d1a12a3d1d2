#pragma once
// The visual controls of the retained control model. A renderer observes them through the
// form's observer; the screen's logic only reads and writes their properties and events.
#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hostlib/component.h"
#include "core/datetime.h"

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

// Keys that edit or move the caret without being characters: they never pass a form's key
// preview (Backspace, Enter and Escape are characters and do).
enum class TEditKey { Home, End, Left, Right, Delete };
// Whether a caret move drags the selection along (Shift held) or drops it.
enum class TSelectionMode { Move, Extend };

// An edit keeps its text, a caret and a selection. Positions count characters, not bytes; the
// selection runs from its anchor to the caret, and SelStart is the lower of the two.
class TCustomEdit : public TWinControl {
public:
    TCustomEdit(TComponent* owner, std::string name);

    std::string Text() const override { return text_; }
    // Runs OnChange when the text differs from what the edit holds; the same text runs nothing.
    // A new text puts the caret at its end. Bytes that are not UTF-8 are read as Windows-1252.
    void SetText(std::string text);
    void Clear() { SetText(""); }
    bool IsFocusTarget() const override { return true; }

    std::size_t SelStart() const { return std::min(caret_.chars, anchor_.chars); }
    std::size_t SelLength() const;
    std::string SelText() const;
    std::size_t CaretPosition() const { return caret_.chars; }
    // The program's caret: at `start` (past the end: at the end), nothing selected.
    void SetSelStart(std::size_t start);
    // Selects `length` characters from SelStart (as many as there are), caret after them.
    void SetSelLength(std::size_t length);
    // The selection from `anchor` to `caret`, both cut to the text's length; true when it moved.
    bool Select(std::size_t anchor, std::size_t caret);
    // Everything selected, the caret at the end.
    bool SelectAll() { return Select(0, length_); }
    // The program putting `text` in place of the selection, as one change, caret after it.
    void SetSelText(const std::string& text);

    // The user's keys. Each returns true when the text, the caret or the selection changed;
    // OnChange runs once when the text did, never for a key that changed nothing.
    // A character at the caret (Backspace among them).
    bool Keystroke(char32_t key);
    // A navigation key, or Delete.
    bool EditKey(TEditKey key, TSelectionMode mode);
    // Text typed at the caret as one change: refused characters are skipped, what does not
    // fit is dropped.
    bool Paste(std::string_view text);
    // The selection taken out as one change; what was selected.
    std::string CutSelection();

    int MaxLength = 0;  // characters; 0 is no limit
    TEditCharCase CharCase = TEditCharCase::ecNormal;
    TNotifyEvent OnChange;

protected:
    // A place in the text: its character index and the byte offset where that character
    // starts, kept together so that typing never walks the text.
    struct Position {
        std::size_t chars = 0;
        std::size_t bytes = 0;
        bool operator==(const Position&) const = default;
    };

    // The edits of the user's keys, applied in place; each returns whether the text changed
    // and changes nothing when it refuses the key. A plain edit inserts and removes.
    virtual bool TypeChar(char32_t key);
    virtual bool EraseBackward();
    virtual bool EraseForward();
    virtual bool TypeText(const std::vector<char32_t>& chars);
    // The edit's own form of a text written by the program.
    virtual std::string Normalized(std::string text) const { return text; }
    // Whether a printable character may go at character position `position`.
    virtual bool Accepts(char32_t key, std::size_t position) const;
    // The most characters the edit holds; 0 is no limit.
    virtual std::size_t Capacity() const { return MaxLength > 0 ? static_cast<std::size_t>(MaxLength) : 0; }

    bool HasSelection() const { return caret_.chars != anchor_.chars; }
    Position SelectionLow() const { return caret_.chars < anchor_.chars ? caret_ : anchor_; }
    Position SelectionHigh() const { return caret_.chars < anchor_.chars ? anchor_ : caret_; }
    // `text` in place of the characters from `from` to `to`, caret after it, nothing selected.
    void ReplaceRange(Position from, Position to, std::string_view text, std::size_t chars);
    // A whole new text with the caret at character `caret`, nothing selected; true when the
    // text differs.
    bool Reset(std::string text, std::size_t caret);

private:
    Position PositionAt(std::size_t chars) const;
    Position StepBack(Position at) const;
    Position StepForward(Position at) const;
    void MoveCaret(Position to, TSelectionMode mode);
    // Tells the renderer and OnChange what a user's key did; returns whether it did anything.
    bool Finish(bool text_changed, Position caret_before, Position anchor_before);
    void NotifyChange();

    std::string text_;
    std::size_t length_ = 0;  // utf8::Length(text_)
    Position caret_;
    Position anchor_;
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
    std::size_t Capacity() const override;

private:
    std::string edit_mask_;
    std::string positions_;  // the mask's first field: one character per position
};

// A date edit over the template "dd/mm/yyyy": the literals stay, a digit overtypes the position
// at the caret and the caret steps on over the literals; erasing blanks positions without
// shifting the rest. The text reads "" while no digit is filled.
class TDateEditPlus : public TCustomEdit {
public:
    TDateEditPlus(TComponent* owner, std::string name);

    // The date shown, or 0 for an empty edit or a text that is no complete valid date.
    TDateTime GetDate() const;
    // 0 empties the edit; any other value shows its date (the time of day is dropped).
    void SetDate(TDateTime date);
    // Accepts "" and complete valid dates; raises EConvertError for anything else.
    void CheckValidDate() const;

    TColor ValidDateColor = TColor::clBlue;

protected:
    bool TypeChar(char32_t key) override;
    bool EraseBackward() override;
    bool EraseForward() override;
    bool TypeText(const std::vector<char32_t>& chars) override;
    std::string Normalized(std::string text) const override;

private:
    // The template with what is filled; blanks where nothing is.
    std::string Slots() const;
    // Blanks the selected positions; the caret goes to the first of them.
    void BlankSelection(std::string& slots, std::size_t& caret) const;
    // The filled template as the text ("" when no digit is left), caret at `caret`.
    bool Commit(const std::string& slots, std::size_t caret);
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
