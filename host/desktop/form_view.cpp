#include "form_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "hostlib/controls.h"
#include "hostlib/datetime.h"

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
    form.Observer = this;
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
        const QString text = Text(control.Text());
        if (edit->text() != text) {
            edit->setText(text);
            edit->setCursorPosition(static_cast<int>(text.size()));
        }
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
        button->setText(Text(control.Caption()));
        FitText(*button, button->text(), control.Bounds.Width - 6);
    }
}

void FormView::ControlChanged(hostlib::TControl& control) { Refresh(control); }

void FormView::FocusChanged(hostlib::TForm&) { SyncFocus(); }

void FormView::FormChanged(hostlib::TForm& form) {
    setWindowTitle(Text(form.Caption()));
    emit formChanged();
}

void FormView::SyncFocus() {
    if (form_ == nullptr || form_->ActiveControl() == nullptr) return;
    QWidget* widget = WidgetOf(*form_->ActiveControl());
    if (widget == nullptr || widget->hasFocus() || !widget->isEnabled()) return;
    syncing_ = true;
    widget->setFocus(Qt::OtherFocusReason);
    syncing_ = false;
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
        // Keys that change text belong to the model, not to the line edit's own shortcuts.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Undo) ||
            key->matches(QKeySequence::Redo) || key->matches(QKeySequence::Delete)) {
            event->accept();
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

bool FormView::HandleKey(QLineEdit& edit, QKeyEvent& key) {
    hostlib::TForm& form = *form_;
    const int code = key.key();
    const auto modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (code == Qt::Key_F1) {
        if (help_) help_(form);
        return true;
    }
    if (code == Qt::Key_Backtab || (code == Qt::Key_Tab && (modifiers & Qt::ShiftModifier))) {
        form.UserTab(hostlib::TabDirection::Backward);
    } else if (code == Qt::Key_Tab) {
        form.UserTab(hostlib::TabDirection::Forward);
    } else if (code == Qt::Key_Backspace) {
        if (edit.hasSelectedText() && edit.selectedText() == edit.text()) {
            form.UserClear();
        } else {
            form.UserKey(hostlib::kKeyBackspace);
        }
    } else if (code == Qt::Key_Delete) {
        if (edit.hasSelectedText() && edit.selectedText() == edit.text()) form.UserClear();
    } else if (code == Qt::Key_Escape) {
        form.UserKey(hostlib::kKeyEscape);
    } else if (code == Qt::Key_Return || code == Qt::Key_Enter) {
        form.UserKey(hostlib::kKeyEnter);
    } else if (key.matches(QKeySequence::Paste)) {
        const QString text = QApplication::clipboard()->text();
        for (char32_t ch : text.toStdU32String()) {
            if (form_ == nullptr) break;
            form.UserKey(ch);
        }
    } else if (key.matches(QKeySequence::SelectAll) || key.matches(QKeySequence::Copy) || code == Qt::Key_Left ||
               code == Qt::Key_Right || code == Qt::Key_Home || code == Qt::Key_End) {
        return false;  // moving and copying change nothing
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
