#include "hostlib/controls.h"

#include <algorithm>

#include "hostlib/application.h"
#include "hostlib/db/dataset.h"
#include "hostlib/exceptions.h"
#include "hostlib/form.h"
#include "hostlib/utf8.h"

namespace hostlib {

const char* ColorName(TColor color) {
    switch (color) {
        case TColor::clBtnFace:
            return "clBtnFace";
        case TColor::clInfoBk:
            return "clInfoBk";
        case TColor::clWindow:
            return "clWindow";
        case TColor::clWindowText:
            return "clWindowText";
        case TColor::clBlue:
            return "clBlue";
    }
    return "clNone";
}

// ---- TControl

TControl::TControl(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent_ != nullptr) std::erase(parent_->children_, this);
    parent_ = parent;
    if (parent_ != nullptr) parent_->children_.push_back(this);
}

TForm* TControl::ParentForm() const {
    const TControl* control = this;
    while (control != nullptr) {
        if (auto* form = dynamic_cast<TForm*>(const_cast<TControl*>(control))) return form;
        control = control->Parent();
    }
    return nullptr;
}

void TControl::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Changed();
}

void TControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Changed();
}

void TControl::SetColor(TColor color) {
    if (color == color_) return;
    color_ = color;
    Changed();
}

void TControl::SetCaption(std::string caption) {
    if (caption == caption_) return;
    caption_ = std::move(caption);
    Changed();
}

bool TControl::IsShowingAndEnabled() const {
    for (const TControl* control = this; control != nullptr; control = control->Parent()) {
        if (!control->Enabled() || !control->Visible()) return false;
        if (dynamic_cast<const TForm*>(control) != nullptr) break;
    }
    return true;
}

void TControl::Click() {
    if (OnClick) OnClick(*this);
}

void TControl::Changed() {
    TForm* form = ParentForm();
    if (form != nullptr && form->Observer != nullptr) form->Observer->ControlChanged(*this);
}

// ---- TWinControl

TWinControl::~TWinControl() {
    for (TControl* child : std::vector<TControl*>(children_)) child->SetParent(nullptr);
}

std::vector<TWinControl*> TWinControl::TabChildren() const {
    std::vector<TWinControl*> out;
    for (TControl* child : children_) {
        if (auto* win = dynamic_cast<TWinControl*>(child)) out.push_back(win);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const TWinControl* a, const TWinControl* b) { return a->TabOrder < b->TabOrder; });
    return out;
}

bool TWinControl::Focused() const {
    const TForm* form = ParentForm();
    return form != nullptr && form->ActiveControl() == this;
}

void TWinControl::SetFocus() {
    TForm* form = ParentForm();
    if (form != nullptr) form->FocusControl(*this);
}

// ---- TCustomEdit

TCustomEdit::TCustomEdit(TComponent* owner, std::string name) : TWinControl(owner, std::move(name)) {
    TabStop = true;
    SetColor(TColor::clWindow);
}

void TCustomEdit::SetText(std::string text) {
    if (ReplaceText(Normalized(std::move(text)))) NotifyChange();
}

bool TCustomEdit::ReplaceText(std::string text) {
    if (text == text_) return false;
    text_ = std::move(text);
    length_ = utf8::Length(text_);
    return true;
}

void TCustomEdit::NotifyChange() {
    Changed();
    if (OnChange) OnChange(*this);
}

bool TCustomEdit::Keystroke(char32_t key) {
    if (!ApplyKey(key)) return false;
    NotifyChange();
    return true;
}

bool TCustomEdit::ApplyKey(char32_t key) {
    if (key == kKeyBackspace) {
        if (text_.empty()) return false;
        utf8::DropLast(text_);
        // A text of stray continuation bytes counts as no character and goes whole.
        if (length_ > 0) --length_;
        return true;
    }
    if (key < 32 || key == 127) return false;  // other control keys insert nothing
    if (CharCase == TEditCharCase::ecUpperCase) key = utf8::ToUpper(key);
    if (MaxLength > 0 && length_ >= static_cast<std::size_t>(MaxLength)) return false;
    if (!Accepts(key, length_)) return false;
    text_ += utf8::Encode(key);
    ++length_;
    return true;
}

bool TCustomEdit::Accepts(char32_t, std::size_t) const { return true; }

// ---- TMaskEdit

void TMaskEdit::SetEditMask(std::string mask) {
    edit_mask_ = std::move(mask);
    positions_ = edit_mask_.substr(0, edit_mask_.find(';'));
}

bool TMaskEdit::Accepts(char32_t key, std::size_t position) const {
    if (positions_.empty()) return true;
    if (position >= positions_.size()) return false;
    switch (positions_[position]) {
        case '9':
        case '0':
        case '#':
            return key >= U'0' && key <= U'9';
        case 'L':
        case 'l':
            return key < 128 && std::isalpha(static_cast<int>(key));
        case 'A':
        case 'a':
            return key < 128 && std::isalnum(static_cast<int>(key));
        default:
            return true;
    }
}

// ---- TDateEditPlus

namespace {

constexpr std::size_t kDateDigits = 8;
constexpr std::size_t kDigitPositions[kDateDigits] = {0, 1, 3, 4, 6, 7, 8, 9};

std::string DigitsOf(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9' && digits.size() < kDateDigits) digits += c;
    }
    return digits;
}

std::string LaidOut(const std::string& digits) {
    if (digits.empty()) return "";
    std::string text = "  /  /    ";
    for (std::size_t i = 0; i < digits.size(); ++i) text[kDigitPositions[i]] = digits[i];
    return text;
}

}  // namespace

TDateEditPlus::TDateEditPlus(TComponent* owner, std::string name) : TCustomEdit(owner, std::move(name)) {
    MaxLength = 10;
}

TDateTime TDateEditPlus::GetDate() const { return TryStrToDate(Text()).value_or(0.0); }

void TDateEditPlus::SetDate(TDateTime date) { SetText(date == 0.0 ? std::string() : DateToStr(DateOf(date))); }

void TDateEditPlus::CheckValidDate() const {
    if (Text().empty()) return;
    if (!TryStrToDate(Text())) throw EConvertError("'" + Text() + "' não é uma data válida.");
}

bool TDateEditPlus::ApplyKey(char32_t key) {
    // The text is always laid out in the mask, so this is ten characters at most.
    std::string digits = DigitsOf(Text());
    if (key == kKeyBackspace) {
        if (digits.empty()) return false;
        digits.pop_back();
    } else if (key >= U'0' && key <= U'9' && digits.size() < kDateDigits) {
        digits += static_cast<char>(key);
    } else {
        return false;
    }
    return ReplaceText(LaidOut(digits));
}

std::string TDateEditPlus::Normalized(std::string text) const { return LaidOut(DigitsOf(text)); }

// ---- TBtnPesquisa

void TBtnPesquisa::Click() {
    bool proceed = true;
    if (OnBeforePesq) OnBeforePesq(*this, proceed);
    TDataSet* dataset = DataSource != nullptr ? DataSource->DataSet : nullptr;
    if (!proceed || dataset == nullptr) return;
    if (!dataset->Active()) dataset->Open();
    HostServices& host = Application().Host();
    if (dataset->IsEmpty()) {
        host.ShowEmptyList(Title, EmptyText);
        return;
    }
    LookupList list;
    list.title = Title;
    std::vector<std::size_t> columns;
    for (std::size_t c = 0; c < dataset->FieldDefs.size(); ++c) {
        if (!dataset->FieldDefs[c].Visible) continue;
        columns.push_back(c);
        list.columns.push_back(dataset->FieldDefs[c].DisplayLabel);
    }
    const std::size_t current = dataset->RecNo();
    for (std::size_t r = 0; r < dataset->RecordCount(); ++r) {
        dataset->MoveTo(r);
        std::vector<std::string> row;
        for (std::size_t c : columns) row.push_back(TField(*dataset, c).AsString());
        list.rows.push_back(std::move(row));
    }
    dataset->MoveTo(current);
    const auto choice = host.ChooseFromList(list);
    if (!choice || *choice >= dataset->RecordCount()) return;
    dataset->MoveTo(*choice);
    if (OnAfterPesq) OnAfterPesq(*this);
    if (Associate != nullptr) Associate->SetFocus();
}

}  // namespace hostlib
