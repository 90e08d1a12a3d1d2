#pragma once
// A form of the control model drawn with Qt widgets. The model stays the owner of every
// value: a keystroke is handed to the model and the widget shows what the model then
// holds; the focus follows the model both ways. A focus change that is no user's move
// (a dialog, a message box, another window) runs no exit handler.
#include <QWidget>
#include <functional>
#include <unordered_map>

#include "hostlib/form.h"

class QLineEdit;
class QToolButton;

namespace hostlib {
class TCustomEdit;
class TfrmRotiGeral;
}

namespace host::desktop {

class FormView : public QWidget, public hostlib::FormObserver {
    Q_OBJECT

public:
    using HelpRequest = std::function<void(const hostlib::TForm&)>;

    FormView(hostlib::TForm& form, HelpRequest help, QWidget* parent = nullptr);
    ~FormView() override;

    hostlib::TForm* Form() const { return form_; }
    // The form is going away: stop looking at it.
    void Detach();
    QWidget* WidgetOf(const hostlib::TControl& control) const;
    // Gives the Qt focus to the model's active control.
    void SyncFocus();

    void ControlChanged(hostlib::TControl& control) override;
    void FocusChanged(hostlib::TForm& form) override;
    void FormChanged(hostlib::TForm& form) override;

signals:
    // The window state or caption changed in the model.
    void formChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build(const hostlib::TWinControl& container, QWidget* parent);
    QWidget* Make(hostlib::TControl& control, QWidget* parent);
    void Refresh(const hostlib::TControl& control);
    // The model's text, caret and selection shown in the widget.
    void ShowTextAndSelection(QLineEdit& edit, const hostlib::TCustomEdit& control);
    // Qt's own selection (a mouse drag, a double click) handed to the model.
    void TakeSelection(QLineEdit& edit);
    // A routine screen confirms with its mnemonic and Ctrl+Enter as with a click.
    void AddConfirmKeys(hostlib::TfrmRotiGeral& screen);
    // A keystroke in a field goes to the model; the field shows what the model then holds.
    bool HandleKey(QLineEdit& edit, class QKeyEvent& key);
    // After a user's action: the focus is put where the model left it.
    void AfterUserAction();

    hostlib::TForm* form_;
    HelpRequest help_;
    std::unordered_map<const hostlib::TControl*, QWidget*> widgets_;
    std::unordered_map<const QObject*, hostlib::TControl*> controls_;
    bool syncing_ = false;
    bool applying_ = false;  // the model's state is being shown: Qt's signals are echoes
    QToolButton* confirm_button_ = nullptr;
    const hostlib::TControl* shown_focus_ = nullptr;  // the model's focus as last shown
};

}  // namespace host::desktop
