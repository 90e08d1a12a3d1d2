#include "hostlib/form.h"

#include <algorithm>

#include "hostlib/application.h"

namespace hostlib {

TForm::TForm(TComponent* owner, std::string name) : TWinControl(owner, std::move(name)) {}

TForm::~TForm() {
    // Controls are freed with the components they are owned by; drop the focus first so
    // that nothing refers to them while they go.
    active_control_ = nullptr;
    if (TApplication::Exists()) TApplication::Instance().FormDestroyed(*this);
}

void TForm::CollectTabOrder(const TWinControl& container, std::vector<TWinControl*>& out) const {
    for (TWinControl* child : container.TabChildren()) {
        if (child->IsFocusTarget() && child->TabStop) out.push_back(child);
        CollectTabOrder(*child, out);
    }
}

std::vector<TWinControl*> TForm::TabSequence(Sequence which) const {
    std::vector<TWinControl*> all;
    CollectTabOrder(*this, all);
    if (which == Sequence::All) return all;
    std::erase_if(all, [](const TWinControl* c) { return !c->CanFocus(); });
    return all;
}

void TForm::SetWindowState(TWindowState state) {
    if (state == window_state_) return;
    window_state_ = state;
    if (Observer != nullptr) Observer->FormChanged(*this);
}

void TForm::Show() {
    SetVisible(true);
    if (active_control_ == nullptr) {
        const auto sequence = TabSequence(Sequence::OnlyFocusable);
        if (!sequence.empty()) SetActive(sequence.front(), FocusArrival::SelectAll);
    }
    BringToFront();
}

void TForm::BringToFront() {
    if (Observer != nullptr) Observer->FormChanged(*this);
    if (!TApplication::Exists()) return;
    TApplication& application = TApplication::Instance();
    application.Host().FormShown(*this);
    application.ActivateForm(*this);
}

void TForm::Close() {
    // A child window of the main window is minimised unless its handler says otherwise.
    TCloseAction action = FormStyle == TFormStyle::fsMDIChild ? TCloseAction::caMinimize : TCloseAction::caHide;
    if (OnClose) OnClose(*this, action);
    switch (action) {
        case TCloseAction::caNone:
            return;
        case TCloseAction::caMinimize:
            SetWindowState(TWindowState::wsMinimized);
            return;
        case TCloseAction::caHide:
            SetVisible(false);
            break;
        case TCloseAction::caFree:
            SetVisible(false);
            TApplication::Instance().Release(*this);
            break;
    }
    TApplication::Instance().Host().FormClosed(*this);
}

void TForm::DoCreate() {
    RunUserEvent([this] {
        if (OnCreate) OnCreate(*this);
    });
}

template <class Action>
void TForm::RunUserEvent(Action&& action) {
    try {
        action();
    } catch (...) {
        TApplication::Instance().HandleException(std::current_exception());
    }
}

void TForm::SetActive(TWinControl* control, FocusArrival arrival) {
    ++focus_moves_;
    if (control == active_control_) return;
    active_control_ = control;
    if (auto* edit = dynamic_cast<TCustomEdit*>(control)) {
        if (arrival == FocusArrival::SelectAll) {
            edit->SelectAll();
        } else {
            edit->SetSelStart(edit->Text().size());  // cut to the length in characters
        }
    }
    if (Observer != nullptr) Observer->FocusChanged(*this);
}

void TForm::FocusControl(TWinControl& control) {
    if (control.ParentForm() != this || !control.CanFocus()) return;
    // Given back to the control a user's move is leaving: as if it had gone, all selected.
    if (&control == leaving_ && &control == active_control_) active_control_ = nullptr;
    SetActive(&control, FocusArrival::SelectAll);
}

void TForm::MoveFocus(TWinControl& target, FocusArrival arrival) {
    TWinControl* from = active_control_;
    if (from == &target) {
        if (auto* edit = dynamic_cast<TCustomEdit*>(&target); edit != nullptr && arrival == FocusArrival::CaretAtEnd) {
            edit->SetSelStart(edit->Text().size());
        }
        return;
    }
    const std::uint64_t moves_before = focus_moves_;
    if (from != nullptr && from->OnExit) {
        struct Leaving {
            TWinControl*& slot;
            ~Leaving() { slot = nullptr; }
        } leaving{leaving_};
        leaving_ = from;
        from->OnExit(*from);
    }
    // The exit handler placed the focus itself: its choice stands over the user's target.
    if (focus_moves_ != moves_before) return;
    if (!target.CanFocus()) return;
    SetActive(&target, arrival);
    if (target.OnEnter) target.OnEnter(target);
}

void TForm::UserFocus(TWinControl& target) {
    if (target.ParentForm() != this || !target.CanFocus()) return;
    RunUserEvent([&] { MoveFocus(target, FocusArrival::CaretAtEnd); });
}

void TForm::UserTab(TabDirection direction) {
    const auto all = TabSequence(Sequence::All);
    if (all.empty()) return;
    const auto n = static_cast<std::ptrdiff_t>(all.size());
    const auto at = std::find(all.begin(), all.end(), active_control_);
    std::ptrdiff_t index = at == all.end() ? (direction == TabDirection::Forward ? -1 : n) : at - all.begin();
    const std::ptrdiff_t step = direction == TabDirection::Forward ? 1 : -1;
    for (std::ptrdiff_t tried = 0; tried < n; ++tried) {
        index = ((index + step) % n + n) % n;
        TWinControl* candidate = all[static_cast<std::size_t>(index)];
        if (candidate == active_control_) return;
        if (candidate->CanFocus()) {
            RunUserEvent([&] { MoveFocus(*candidate, FocusArrival::SelectAll); });
            return;
        }
    }
}

TCustomEdit* TForm::FocusedEdit() const {
    auto* edit = dynamic_cast<TCustomEdit*>(active_control_);
    return edit != nullptr && edit->CanFocus() ? edit : nullptr;
}

template <class Action>
bool TForm::RunEditAction(Action&& action) {
    bool changed = false;
    RunUserEvent([&] {
        if (TCustomEdit* edit = FocusedEdit()) changed = action(*edit);
    });
    return changed;
}

bool TForm::UserKey(char32_t key) {
    bool changed = false;
    RunUserEvent([&] {
        if (KeyPreview && OnKeyPress) OnKeyPress(*this, key);
        if (key == 0) return;
        if (TCustomEdit* edit = FocusedEdit()) changed = edit->Keystroke(key);
    });
    return changed;
}

bool TForm::UserEditKey(TEditKey key, TSelectionMode mode) {
    return RunEditAction([&](TCustomEdit& edit) { return edit.EditKey(key, mode); });
}

bool TForm::UserSelectAll() {
    return RunEditAction([](TCustomEdit& edit) { return edit.SelectAll(); });
}

bool TForm::UserSelect(std::size_t anchor, std::size_t caret) {
    return RunEditAction([&](TCustomEdit& edit) { return edit.Select(anchor, caret); });
}

bool TForm::UserPaste(std::string_view text) {
    return RunEditAction([&](TCustomEdit& edit) { return edit.Paste(text); });
}

std::string TForm::UserCut() {
    std::string cut;
    RunEditAction([&](TCustomEdit& edit) {
        cut = edit.CutSelection();
        return !cut.empty();
    });
    return cut;
}

void TForm::UserClear() {
    RunEditAction([](TCustomEdit& edit) {
        edit.Clear();
        return true;
    });
}

void TForm::UserClose() {
    RunUserEvent([this] { Close(); });
}

void TForm::UserClick(TControl& control) {
    if (control.ParentForm() != this || !control.IsShowingAndEnabled()) return;
    if (auto* win = dynamic_cast<TWinControl*>(&control); win != nullptr && win->IsFocusTarget()) {
        UserFocus(*win);
        return;
    }
    RunUserEvent([&] { control.Click(); });
}

}  // namespace hostlib
