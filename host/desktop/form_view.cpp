#include "form_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "hostlib/controls.h"
#include "core/datetime.h"
#include "hostlib/rotigeral.h"

namespace host::desktop {

namespace {

QColor ColorOf(hostlib::TColor color) {
    switch (color) {
        case hostlib::TColor::clInfoBk:
            return QColor(0xFF, 0xFF, 0xE1);
        case hostlib::TColor::clBtnFace:
            return QColor(0xF0, 0xF0, 0xF0);
        case hostlib::TColor::clWindow:
            return Qt::white;
        case hostlib::TColor::clBlue:
            return Qt::blue;
        case hostlib::TColor::clWindowText:
            return Qt::black;
    }
    return Qt::white;
}

QRect RectOf(const hostlib::TBounds& b) { return QRect(b.Left, b.Top, b.Width, b.Height); }

// The layout's sizes are fixed: a caption wider than its control gets a smaller font.
void FitText(QWidget& widget, const QString& text, int room) {
    QFont font = widget.font();
    while (font.pointSize() > 6 && QFontMetrics(font).horizontalAdvance(text) > room) {
        font.setPointSize(font.pointSize() - 1);
    }
    widget.setFont(font);
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The model counts characters, Qt counts UTF-16 units: a character beyond the Basic
// Multilingual Plane is two of them.
int Utf16Offset(const QString& text, std::size_t chars) {
    int at = 0;
    for (std::size_t c = 0; c < chars && at < text.size(); ++c) {
        at += text.at(at).isHighSurrogate() && at + 1 < text.size() ? 2 : 1;
    }
    return at;
}

std::size_t CharOffset(const QString& text, int utf16) {
    std::size_t chars = 0;
    for (int at = 0; at < utf16 && at < text.size(); ++chars) {
        at += text.at(at).isHighSurrogate() && at + 1 < text.size() ? 2 : 1;
    }
    return chars;
}

// The keys that confirm a routine screen, besides a click on its confirm button.
QList<QKeySequence> ConfirmKeys(const QString& caption) {
    QList<QKeySequence> keys{QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)};
    if (!caption.isEmpty()) keys.prepend(QKeySequence(QString("Alt+") + caption.at(0).toUpper()));
    return keys;
}

}  // namespace

FormView::FormView(hostlib::TForm& form, HelpRequest help, QWidget* parent)
    : QWidget(parent), form_(&form), help_(std::move(help)) {
    setFixedSize(form.ClientWidth, form.ClientHeight);
    setWindowTitle(Text(form.Caption()));
    // The layout is drawn for an 8-point font.
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
    Build(form, this);
    shown_focus_ = form.ActiveControl();
    form.Observer = this;
    if (auto* screen = dynamic_cast<hostlib::TfrmRotiGeral*>(&form)) AddConfirmKeys(*screen);
}

void FormView::AddConfirmKeys(hostlib::TfrmRotiGeral& screen) {
    confirm_button_ = qobject_cast<QToolButton*>(WidgetOf(screen.sbtConfirma));
    if (confirm_button_ == nullptr) return;
    // Active only while this window holds the focus; a click's twin: the focus stays put.
    const QList<QKeySequence> keys = ConfirmKeys(Text(screen.sbtConfirma.Caption()));
    auto* shortcut = new QShortcut(this);
    shortcut->setObjectName("confirmShortcut");
    shortcut->setKeys(keys);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, &screen] {
        if (form_ == nullptr) return;
        form_->UserClick(screen.sbtConfirma);
        AfterUserAction();
    });
    QStringList names;
    for (const auto& key : keys) names << key.toString(QKeySequence::NativeText);
    confirm_button_->setToolTip(QString("%1 (%2)").arg(Text(screen.sbtConfirma.Caption()), names.join(", ")));
    Refresh(screen.sbtConfirma);
}

FormView::~FormView() { Detach(); }

void FormView::Detach() {
    if (form_ != nullptr && form_->Observer == this) form_->Observer = nullptr;
    form_ = nullptr;
}

QWidget* FormView::WidgetOf(const hostlib::TControl& control) const {
    const auto it = widgets_.find(&control);
    return it == widgets_.end() ? nullptr : it->second;
}

void FormView::Build(const hostlib::TWinControl& container, QWidget* parent) {
    for (hostlib::TControl* child : container.Controls()) {
        QWidget* widget = Make(*child, parent);
        widgets_[child] = widget;
        controls_[widget] = child;
        Refresh(*child);
        if (auto* win = dynamic_cast<hostlib::TWinControl*>(child)) Build(*win, widget);
    }
}

QWidget* FormView::Make(hostlib::TControl& control, QWidget* parent) {
    QWidget* widget = nullptr;
    if (dynamic_cast<hostlib::TGroupBox*>(&control) != nullptr) {
        widget = new QGroupBox(parent);
    } else if (auto* panel = dynamic_cast<hostlib::TPanel*>(&control)) {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(panel->BevelOuter ? (QFrame::Panel | QFrame::Raised) : QFrame::NoFrame);
        widget = frame;
    } else if (dynamic_cast<hostlib::TLabel*>(&control) != nullptr) {
        widget = new QLabel(parent);
    } else if (auto* bevel = dynamic_cast<hostlib::TBevel*>(&control)) {
        auto* line = new QFrame(parent);
        line->setFrameStyle(bevel->Shape == hostlib::TBevelShape::bsBox ? QFrame::Box | QFrame::Sunken
                                                                        : QFrame::HLine | QFrame::Sunken);
        widget = line;
    } else if (dynamic_cast<hostlib::TCustomEdit*>(&control) != nullptr) {
        auto* line_edit = new QLineEdit(parent);
        line_edit->setFocusPolicy(Qt::ClickFocus);
        line_edit->setContextMenuPolicy(Qt::NoContextMenu);
        line_edit->setFrame(true);
        QFont font = line_edit->font();
        font.setBold(false);
        line_edit->setFont(font);
        line_edit->installEventFilter(this);
        // Qt's own mouse selection and double click reach the model as its selection.
        connect(line_edit, &QLineEdit::selectionChanged, this, [this, line_edit] { TakeSelection(*line_edit); });
        connect(line_edit, &QLineEdit::cursorPositionChanged, this, [this, line_edit] { TakeSelection(*line_edit); });
        widget = line_edit;
    } else if (dynamic_cast<hostlib::TBtnPesquisa*>(&control) != nullptr ||
               dynamic_cast<hostlib::TButtonFlat*>(&control) != nullptr) {
        auto* button = new QToolButton(parent);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        if (dynamic_cast<hostlib::TBtnPesquisa*>(&control) != nullptr) {
            button->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
        } else {
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            button->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
        }
        connect(button, &QToolButton::clicked, this, [this, &control] {
            if (form_ == nullptr) return;
            form_->UserClick(control);
            AfterUserAction();
        });
        widget = button;
    } else {
        widget = new QWidget(parent);
    }
    widget->setObjectName(Text(control.Name()));
    QRect rect = RectOf(control.Bounds);
    if (auto* bevel = dynamic_cast<hostlib::TBevel*>(&control); bevel != nullptr) {
        if (bevel->Shape == hostlib::TBevelShape::bsBottomLine)
            rect = QRect(rect.left(), rect.bottom() - 1, rect.width(), 2);
        if (bevel->Shape == hostlib::TBevelShape::bsTopLine) rect = QRect(rect.left(), rect.top(), rect.width(), 2);
    }
    widget->setGeometry(rect);
    if (control.FontBold) {
        QFont font = widget->font();
        font.setBold(true);
        widget->setFont(font);
    }
    if (!control.Hint.empty()) widget->setToolTip(Text(control.Hint));
    return widget;
}

void FormView::Refresh(const hostlib::TControl& control) {
    QWidget* widget = WidgetOf(control);
    if (widget == nullptr) return;
    widget->setEnabled(control.Enabled());
    widget->setVisible(control.Visible() && control.Bounds.Height > 0);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        ShowTextAndSelection(*edit, dynamic_cast<const hostlib::TCustomEdit&>(control));
        QPalette palette = edit->palette();
        const QColor base = ColorOf(control.Color());
        palette.setColor(QPalette::Active, QPalette::Base, base);
        palette.setColor(QPalette::Inactive, QPalette::Base, base);
        palette.setColor(QPalette::Disabled, QPalette::Base, base);
        palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6D, 0x6D, 0x6D));
        // Valid dates are shown in their own colour.
        const auto* date = dynamic_cast<const hostlib::TDateEditPlus*>(&control);
        const bool valid_date = date != nullptr && hostlib::TryStrToDate(control.Text()).has_value();
        const QColor ink = valid_date ? ColorOf(date->ValidDateColor) : QColor(Qt::black);
        palette.setColor(QPalette::Active, QPalette::Text, ink);
        palette.setColor(QPalette::Inactive, QPalette::Text, ink);
        if (valid_date) palette.setColor(QPalette::Disabled, QPalette::Text, ink);
        edit->setPalette(palette);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(Text(control.Caption()));
        FitText(*label, label->text(), control.Bounds.Width);
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        box->setTitle(Text(control.Caption()));
    } else if (auto* button = qobject_cast<QToolButton*>(widget)) {
        const QString caption = Text(control.Caption());
        if (button == confirm_button_) {
            // The mnemonic is drawn; its key is this window's shortcut, not the button's,
            // which would fire from any window of the main window.
            button->setText("&" + caption);
            button->setShortcut(QKeySequence());
        } else {
            button->setText(caption);
        }
        FitText(*button, caption, control.Bounds.Width - 6);
    }
}

void FormView::ShowTextAndSelection(QLineEdit& edit, const hostlib::TCustomEdit& control) {
    const bool was_applying = applying_;
    applying_ = true;
    const QString text = Text(control.Text());
    if (edit.text() != text) edit.setText(text);
    const int start = Utf16Offset(text, control.SelStart());
    const int length = Utf16Offset(text, control.SelStart() + control.SelLength()) - start;
    const int caret = Utf16Offset(text, control.CaretPosition());
    const bool caret_first = control.SelLength() > 0 && caret == start;
    // As on the platform, only the focused edit shows its selection.
    const bool focused = form_ != nullptr && form_->ActiveControl() == &control;
    if (length == 0 || !focused) {
        if (edit.hasSelectedText() || edit.cursorPosition() != caret) edit.setCursorPosition(caret);
    } else if (edit.selectionStart() != start || edit.selectedText().size() != length || edit.cursorPosition() != caret) {
        // A selection made leftwards keeps its caret at the left.
        if (caret_first) {
            edit.setSelection(start + length, -length);
        } else {
            edit.setSelection(start, length);
        }
    }
    applying_ = was_applying;
}

void FormView::TakeSelection(QLineEdit& edit) {
    if (applying_ || form_ == nullptr || !edit.hasFocus()) return;
    const auto found = controls_.find(&edit);
    if (found == controls_.end() || form_->ActiveControl() != found->second) return;
    const QString text = edit.text();
    const int caret = edit.cursorPosition();
    int anchor = caret;
    if (edit.hasSelectedText()) {
        const int start = edit.selectionStart();
        anchor = caret == start ? start + static_cast<int>(edit.selectedText().size()) : start;
    }
    form_->UserSelect(CharOffset(text, anchor), CharOffset(text, caret));
}

void FormView::ControlChanged(hostlib::TControl& control) { Refresh(control); }

void FormView::FocusChanged(hostlib::TForm& form) {
    // The edit left hides its selection.
    if (shown_focus_ != nullptr && shown_focus_ != form.ActiveControl()) Refresh(*shown_focus_);
    shown_focus_ = form.ActiveControl();
    SyncFocus();
}

void FormView::FormChanged(hostlib::TForm& form) {
    setWindowTitle(Text(form.Caption()));
    emit formChanged();
}

void FormView::SyncFocus() {
    if (form_ == nullptr || form_->ActiveControl() == nullptr) return;
    const hostlib::TControl& active = *form_->ActiveControl();
    QWidget* widget = WidgetOf(active);
    if (widget == nullptr || !widget->isEnabled()) return;
    if (!widget->hasFocus()) {
        syncing_ = true;
        widget->setFocus(Qt::OtherFocusReason);
        syncing_ = false;
    }
    // Whatever Qt did to the selection on the way, the model's stands.
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        ShowTextAndSelection(*edit, dynamic_cast<const hostlib::TCustomEdit&>(active));
    }
}

void FormView::AfterUserAction() {
    QTimer::singleShot(0, this, [this] { SyncFocus(); });
}

bool FormView::eventFilter(QObject* watched, QEvent* event) {
    const auto found = controls_.find(watched);
    if (form_ == nullptr || found == controls_.end()) return QWidget::eventFilter(watched, event);
    auto* control = dynamic_cast<hostlib::TWinControl*>(found->second);
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (control == nullptr || edit == nullptr) return QWidget::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) return HandleKey(*edit, *static_cast<QKeyEvent*>(event));
    if (event->type() == QEvent::ShortcutOverride) {
        // The clipboard and editing keys belong to the model, not to the line edit's own
        // shortcuts; any other key with Ctrl or Alt belongs to the windows' shortcuts (Ctrl+D,
        // Ctrl+F4, Alt+C), which the line edit would otherwise keep for itself (on X11 its
        // Delete binding includes Ctrl+D).
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Copy) ||
            key->matches(QKeySequence::SelectAll) || key->matches(QKeySequence::Undo) ||
            key->matches(QKeySequence::Redo) || key->key() == Qt::Key_Delete) {
            event->accept();
            return true;
        }
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
            event->ignore();
            return true;
        }
    }
    if (event->type() == QEvent::FocusIn && !syncing_) {
        // Only a click is a user's move; a dialog closing or a window coming back is not.
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason && form_->ActiveControl() != control) {
            form_->UserFocus(*control);
            AfterUserAction();
        } else {
            AfterUserAction();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool FormView::HandleKey(QLineEdit&, QKeyEvent& key) {
    hostlib::TForm& form = *form_;
    const int code = key.key();
    const auto modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const bool control = modifiers & Qt::ControlModifier;
    const auto mode = (modifiers & Qt::ShiftModifier) ? hostlib::TSelectionMode::Extend : hostlib::TSelectionMode::Move;
    const auto edit_key = [&](hostlib::TEditKey edit) { form.UserEditKey(edit, mode); };
    if (code == Qt::Key_F1) {
        if (help_) help_(form);
        return true;
    }
    // The clipboard's keys first: Shift+Delete and Shift+Insert are among them.
    if (key.matches(QKeySequence::Copy)) {
        if (const auto* edit = dynamic_cast<const hostlib::TCustomEdit*>(form.ActiveControl());
            edit != nullptr && edit->SelLength() > 0) {
            QApplication::clipboard()->setText(Text(edit->SelText()));
        }
    } else if (key.matches(QKeySequence::Cut)) {
        const std::string cut = form.UserCut();
        if (!cut.empty()) QApplication::clipboard()->setText(Text(cut));
    } else if (key.matches(QKeySequence::Paste)) {
        form.UserPaste(QApplication::clipboard()->text().toStdString());
    } else if (key.matches(QKeySequence::SelectAll)) {
        form.UserSelectAll();
    } else if (code == Qt::Key_Backtab || (code == Qt::Key_Tab && (modifiers & Qt::ShiftModifier))) {
        form.UserTab(hostlib::TabDirection::Backward);
    } else if (code == Qt::Key_Tab) {
        form.UserTab(hostlib::TabDirection::Forward);
    } else if (code == Qt::Key_Backspace) {
        form.UserKey(hostlib::kKeyBackspace);
    } else if (code == Qt::Key_Delete) {
        edit_key(hostlib::TEditKey::Delete);
    } else if (code == Qt::Key_Escape) {
        form.UserKey(hostlib::kKeyEscape);
    } else if (code == Qt::Key_Return || code == Qt::Key_Enter) {
        // Ctrl+Enter confirms (a shortcut of the window): it is never a key of the field.
        if (!control) form.UserKey(hostlib::kKeyEnter);
    } else if (code == Qt::Key_Home && !control) {
        edit_key(hostlib::TEditKey::Home);
    } else if (code == Qt::Key_End && !control) {
        edit_key(hostlib::TEditKey::End);
    } else if (code == Qt::Key_Left && !control) {
        edit_key(hostlib::TEditKey::Left);
    } else if (code == Qt::Key_Right && !control) {
        edit_key(hostlib::TEditKey::Right);
    } else if (!key.text().isEmpty() && !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        for (char32_t ch : key.text().toStdU32String()) {
            if (form_ == nullptr) break;
            form.UserKey(ch);
        }
    }
    AfterUserAction();
    return true;
}

}  // namespace host::desktop
