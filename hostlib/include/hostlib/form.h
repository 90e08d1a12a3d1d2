#pragma once
// A form: the window that owns its controls and the one owner of their focus.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hostlib/controls.h"

namespace hostlib {

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm };
enum class TFormBorderStyle { bsSizeable, bsSingle, bsDialog, bsNone };
enum class TabDirection { Forward, Backward };

using TCloseEvent = std::function<void(TObject& sender, TCloseAction& action)>;
using TKeyPressEvent = std::function<void(TObject& sender, char32_t& key)>;

constexpr char32_t kKeyBackspace = 8;
constexpr char32_t kKeyEnter = 13;
constexpr char32_t kKeyEscape = 27;

// What a renderer wants to hear about; the control model calls it after each change.
class FormObserver {
public:
    virtual ~FormObserver() = default;
    virtual void ControlChanged(TControl& control) = 0;
    virtual void FocusChanged(TForm& form) = 0;
    virtual void FormChanged(TForm& form) = 0;
};

class TForm : public TWinControl {
public:
    TForm(TComponent* owner, std::string name);
    ~TForm() override;

    TWinControl* ActiveControl() const { return active_control_; }
    // Focus targets in Tab order, depth first through the containers; with
    // `only_focusable`, only those that can take the focus now.
    enum class Sequence { All, OnlyFocusable };
    std::vector<TWinControl*> TabSequence(Sequence which) const;

    TWindowState WindowState() const { return window_state_; }
    void SetWindowState(TWindowState state);
    void Show();
    void BringToFront();
    // Runs OnClose; the close action decides whether the form is hidden, freed or kept.
    void Close();

    // Runs OnCreate once; its errors are shown (an abort silently) and the form stands.
    void DoCreate();

    // The user's actions. Errors out of handlers end the action and go to the
    // application's error handling, never to the caller.
    // A click into `target`: its caret lands after the last character (a renderer then
    // places it where the click fell); the focused control's exit handler runs first.
    void UserFocus(TWinControl& target);
    // Tab or Shift+Tab: the control reached has its whole text selected.
    void UserTab(TabDirection direction);
    // The key and edit actions below go to the focused edit. Each is true when it changed
    // the edit's text, caret or selection (false also when a handler raised).
    // A character key (Backspace, Enter and Escape among them): the key preview sees it first.
    bool UserKey(char32_t key);
    // A navigation key or Delete: no key preview.
    bool UserEditKey(TEditKey key, TSelectionMode mode);
    bool UserSelectAll();
    // The selection from `anchor` to `caret` (a mouse drag, a double click): no change event.
    bool UserSelect(std::size_t anchor, std::size_t caret);
    bool UserPaste(std::string_view text);
    // Cut: the selected text, taken out of the edit ("" when nothing was selected).
    std::string UserCut();
    void UserClear();
    void UserClick(TControl& control);
    void UserClose();

    int ClientWidth = 0;
    int ClientHeight = 0;
    TFormStyle FormStyle = TFormStyle::fsNormal;
    TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
    std::string HelpFile;
    int HelpContext = 0;
    bool KeyPreview = false;

    TNotifyEvent OnCreate;
    TCloseEvent OnClose;
    TNotifyEvent OnActivate;
    TKeyPressEvent OnKeyPress;

    FormObserver* Observer = nullptr;

private:
    friend class TWinControl;
    // How the focus reaches a control decides what of its text is selected.
    enum class FocusArrival {
        SelectAll,    // Tab, Shift+Tab, the program's SetFocus to another control
        CaretAtEnd,   // a click
    };
    // The program's focus move (no exit or enter).
    void FocusControl(TWinControl& control);
    void SetActive(TWinControl* control, FocusArrival arrival);
    // The user's focus move: exit, then enter unless the exit decided otherwise.
    void MoveFocus(TWinControl& target, FocusArrival arrival);
    // The focused edit, if it can take keys now.
    TCustomEdit* FocusedEdit() const;
    template <class Action>
    bool RunEditAction(Action&& action);
    void CollectTabOrder(const TWinControl& container, std::vector<TWinControl*>& out) const;
    template <class Action>
    void RunUserEvent(Action&& action);

    TWinControl* active_control_ = nullptr;
    // The control a user's move is leaving while its exit handler runs: a SetFocus back to it
    // gives the focus back, as to another control.
    TWinControl* leaving_ = nullptr;
    std::uint64_t focus_moves_ = 0;  // counts every focus change, to see what an exit handler did
    TWindowState window_state_ = TWindowState::wsNormal;
};

}  // namespace hostlib
