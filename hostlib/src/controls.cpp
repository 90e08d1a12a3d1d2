#include "hostlib/controls.h"

#include <algorithm>

#include "hostlib/application.h"
#include "hostlib/db/dataset.h"
#include "core/exceptions.h"
#include "hostlib/form.h"
#include "core/utf8.h"

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
    std::string normalized = Normalized(utf8::ValidOrWindows1252(std::move(text)));
    if (normalized == text_) return;
    const std::size_t length = utf8::Length(normalized);
    Reset(std::move(normalized), length);
    NotifyChange();
}

std::size_t TCustomEdit::SelLength() const { return SelectionHigh().chars - SelectionLow().chars; }

std::string TCustomEdit::SelText() const {
    const Position low = SelectionLow();
    return text_.substr(low.bytes, SelectionHigh().bytes - low.bytes);
}

void TCustomEdit::SetSelStart(std::size_t start) { Select(start, start); }

void TCustomEdit::SetSelLength(std::size_t length) {
    const std::size_t start = SelStart();
    Select(start, start + std::min(length, length_ - start));
}

bool TCustomEdit::Select(std::size_t anchor, std::size_t caret) {
    const Position new_anchor = PositionAt(std::min(anchor, length_));
    const Position new_caret = PositionAt(std::min(caret, length_));
    if (new_anchor == anchor_ && new_caret == caret_) return false;
    anchor_ = new_anchor;
    caret_ = new_caret;
    Changed();
    return true;
}

void TCustomEdit::SetSelText(const std::string& text) {
    const std::string valid = utf8::ValidOrWindows1252(text);
    const Position low = SelectionLow();
    std::string result = text_;
    result.replace(low.bytes, SelectionHigh().bytes - low.bytes, valid);
    const std::size_t caret = low.chars + utf8::Length(valid);
    std::string normalized = Normalized(std::move(result));
    const std::size_t length = utf8::Length(normalized);
    const bool changed = Reset(std::move(normalized), std::min(caret, length));
    if (changed) {
        NotifyChange();
    } else {
        Changed();
    }
}

bool TCustomEdit::Keystroke(char32_t key) {
    const Position caret = caret_;
    const Position anchor = anchor_;
    bool text_changed = false;
    if (key == kKeyBackspace) {
        text_changed = EraseBackward();
    } else {
        if (key < 32 || key == 127) return false;  // other control keys insert nothing
        if (CharCase == TEditCharCase::ecUpperCase) key = utf8::ToUpper(key);
        text_changed = TypeChar(key);
    }
    return Finish(text_changed, caret, anchor);
}

bool TCustomEdit::EditKey(TEditKey key, TSelectionMode mode) {
    const Position caret = caret_;
    const Position anchor = anchor_;
    bool text_changed = false;
    switch (key) {
        case TEditKey::Home:
            MoveCaret(Position{}, mode);
            break;
        case TEditKey::End:
            MoveCaret(Position{length_, text_.size()}, mode);
            break;
        case TEditKey::Left:
            // An arrow without Shift first drops the selection at its own side.
            if (mode == TSelectionMode::Move && HasSelection()) {
                MoveCaret(SelectionLow(), mode);
            } else {
                MoveCaret(StepBack(caret_), mode);
            }
            break;
        case TEditKey::Right:
            if (mode == TSelectionMode::Move && HasSelection()) {
                MoveCaret(SelectionHigh(), mode);
            } else {
                MoveCaret(StepForward(caret_), mode);
            }
            break;
        case TEditKey::Delete:
            text_changed = EraseForward();
            break;
    }
    return Finish(text_changed, caret, anchor);
}

bool TCustomEdit::Paste(std::string_view text) {
    const Position caret = caret_;
    const Position anchor = anchor_;
    std::vector<char32_t> chars;
    for (char32_t ch : utf8::Decode(utf8::ValidOrWindows1252(std::string(text)))) {
        if (ch < 32 || ch == 127) continue;  // line ends and tabs of the clipboard type nothing
        chars.push_back(CharCase == TEditCharCase::ecUpperCase ? utf8::ToUpper(ch) : ch);
    }
    return Finish(!chars.empty() && TypeText(chars), caret, anchor);
}

std::string TCustomEdit::CutSelection() {
    if (!HasSelection()) return {};
    std::string cut = SelText();
    const Position caret = caret_;
    const Position anchor = anchor_;
    Finish(EraseForward(), caret, anchor);
    return cut;
}

bool TCustomEdit::TypeChar(char32_t key) { return TypeText({key}); }

bool TCustomEdit::TypeText(const std::vector<char32_t>& chars) {
    const Position low = SelectionLow();
    const std::size_t kept = length_ - SelLength();
    const std::size_t capacity = Capacity();
    const std::size_t room = capacity == 0 ? chars.size() : (capacity > kept ? capacity - kept : 0);
    std::string accepted;
    std::size_t count = 0;
    for (char32_t ch : chars) {
        if (count == room) break;
        if (!Accepts(ch, low.chars + count)) continue;
        accepted += utf8::Encode(ch);
        ++count;
    }
    if (count == 0) return false;
    ReplaceRange(low, SelectionHigh(), accepted, count);
    return true;
}

bool TCustomEdit::EraseBackward() {
    if (HasSelection()) {
        ReplaceRange(SelectionLow(), SelectionHigh(), {}, 0);
        return true;
    }
    if (caret_.chars == 0) return false;
    ReplaceRange(StepBack(caret_), caret_, {}, 0);
    return true;
}

bool TCustomEdit::EraseForward() {
    if (HasSelection()) {
        ReplaceRange(SelectionLow(), SelectionHigh(), {}, 0);
        return true;
    }
    if (caret_.chars == length_) return false;
    ReplaceRange(caret_, StepForward(caret_), {}, 0);
    return true;
}

bool TCustomEdit::Accepts(char32_t, std::size_t) const { return true; }

void TCustomEdit::ReplaceRange(Position from, Position to, std::string_view text, std::size_t chars) {
    text_.replace(from.bytes, to.bytes - from.bytes, text);
    length_ = length_ - (to.chars - from.chars) + chars;
    caret_ = anchor_ = Position{from.chars + chars, from.bytes + text.size()};
}

bool TCustomEdit::Reset(std::string text, std::size_t caret) {
    const bool changed = text != text_;
    text_ = std::move(text);
    length_ = utf8::Length(text_);
    caret_ = anchor_ = PositionAt(std::min(caret, length_));
    return changed;
}

TCustomEdit::Position TCustomEdit::PositionAt(std::size_t chars) const {
    if (chars >= length_) return Position{length_, text_.size()};
    Position at;
    while (at.chars < chars) at = StepForward(at);
    return at;
}

TCustomEdit::Position TCustomEdit::StepBack(Position at) const {
    if (at.chars == 0) return at;
    std::size_t bytes = at.bytes;
    do {
        --bytes;
    } while (bytes > 0 && (static_cast<unsigned char>(text_[bytes]) & 0xC0) == 0x80);
    return Position{at.chars - 1, bytes};
}

TCustomEdit::Position TCustomEdit::StepForward(Position at) const {
    if (at.chars >= length_) return at;
    std::size_t bytes = at.bytes + 1;
    while (bytes < text_.size() && (static_cast<unsigned char>(text_[bytes]) & 0xC0) == 0x80) ++bytes;
    return Position{at.chars + 1, bytes};
}

void TCustomEdit::MoveCaret(Position to, TSelectionMode mode) {
    caret_ = to;
    if (mode == TSelectionMode::Move) anchor_ = to;
}

bool TCustomEdit::Finish(bool text_changed, Position caret_before, Position anchor_before) {
    if (text_changed) {
        NotifyChange();
        return true;
    }
    if (caret_ == caret_before && anchor_ == anchor_before) return false;
    Changed();
    return true;
}

void TCustomEdit::NotifyChange() {
    Changed();
    if (OnChange) OnChange(*this);
}

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

std::size_t TMaskEdit::Capacity() const {
    const std::size_t limit = TCustomEdit::Capacity();
    if (positions_.empty()) return limit;
    return limit == 0 ? positions_.size() : std::min(limit, positions_.size());
}

// ---- TDateEditPlus

namespace {

constexpr std::string_view kDateTemplate = "  /  /    ";
constexpr std::size_t kDateDigits = 8;
constexpr std::size_t kDigitPositions[kDateDigits] = {0, 1, 3, 4, 6, 7, 8, 9};

bool IsLiteral(std::size_t position) { return position < kDateTemplate.size() && kDateTemplate[position] == '/'; }

std::string DigitsOf(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9' && digits.size() < kDateDigits) digits += c;
    }
    return digits;
}

std::string LaidOut(const std::string& digits) {
    if (digits.empty()) return "";
    std::string text(kDateTemplate);
    for (std::size_t i = 0; i < digits.size(); ++i) text[kDigitPositions[i]] = digits[i];
    return text;
}

}  // namespace

TDateEditPlus::TDateEditPlus(TComponent* owner, std::string name) : TCustomEdit(owner, std::move(name)) {
    MaxLength = static_cast<int>(kDateTemplate.size());
}

TDateTime TDateEditPlus::GetDate() const { return TryStrToDate(Text()).value_or(0.0); }

void TDateEditPlus::SetDate(TDateTime date) { SetText(date == 0.0 ? std::string() : DateToStr(DateOf(date))); }

void TDateEditPlus::CheckValidDate() const {
    if (Text().empty()) return;
    if (!TryStrToDate(Text())) throw EConvertError("'" + Text() + "' não é uma data válida.");
}

std::string TDateEditPlus::Slots() const {
    // The text is "" or the whole template: ten characters of one byte each.
    const std::string text = Text();
    return text.size() == kDateTemplate.size() ? text : std::string(kDateTemplate);
}

void TDateEditPlus::BlankSelection(std::string& slots, std::size_t& caret) const {
    const std::size_t low = SelectionLow().chars;
    const std::size_t high = SelectionHigh().chars;
    for (std::size_t p = low; p < high && p < slots.size(); ++p) {
        if (!IsLiteral(p)) slots[p] = ' ';
    }
    caret = low;
}

bool TDateEditPlus::Commit(const std::string& slots, std::size_t caret) {
    const bool any_digit = slots.find_first_of("0123456789") != std::string::npos;
    return Reset(any_digit ? slots : std::string(), any_digit ? caret : 0);
}

bool TDateEditPlus::TypeChar(char32_t key) { return TypeText({key}); }

bool TDateEditPlus::TypeText(const std::vector<char32_t>& chars) {
    std::string slots = Slots();
    std::size_t caret = CaretPosition();
    bool typed = false;
    for (char32_t key : chars) {
        if (key < U'0' || key > U'9') continue;
        // The first digit replaces the selection, which is blanked first.
        if (!typed && HasSelection()) BlankSelection(slots, caret);
        while (IsLiteral(caret)) ++caret;
        if (caret >= slots.size()) break;
        slots[caret++] = static_cast<char>(key);
        while (IsLiteral(caret)) ++caret;
        typed = true;
    }
    if (!typed) return false;
    // A digit typed over itself moves only the caret, which the caller sees.
    return Commit(slots, caret);
}

bool TDateEditPlus::EraseBackward() {
    std::string slots = Slots();
    std::size_t caret = CaretPosition();
    if (HasSelection()) {
        BlankSelection(slots, caret);
    } else {
        if (caret == 0) return false;
        --caret;
        while (caret > 0 && IsLiteral(caret)) --caret;  // beside a literal, the digit before it
        slots[caret] = ' ';
    }
    return Commit(slots, caret);
}

bool TDateEditPlus::EraseForward() {
    std::string slots = Slots();
    std::size_t caret = CaretPosition();
    if (HasSelection()) {
        BlankSelection(slots, caret);
    } else {
        std::size_t at = caret;
        while (IsLiteral(at)) ++at;
        if (at >= slots.size() || Text().empty()) return false;
        slots[at] = ' ';
    }
    return Commit(slots, caret);
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
