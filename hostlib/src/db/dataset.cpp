#include "hostlib/db/dataset.h"

#include <algorithm>
#include <cctype>

#include "core/db/database_error.h"
#include "core/exceptions.h"

namespace hostlib {

const TFieldDef& TField::Def() const { return dataset_->FieldDefs[column_]; }

const FieldValue* TField::Value() const {
    if (dataset_->rows_.empty()) return nullptr;
    const auto& row = dataset_->rows_[dataset_->current_];
    return column_ < row.size() ? &row[column_] : nullptr;
}

bool TField::IsNull() const {
    const FieldValue* value = Value();
    return value == nullptr || std::holds_alternative<std::monostate>(*value);
}

std::string TField::AsString() const {
    const FieldValue* value = Value();
    if (value == nullptr) return "";
    if (const auto* text = std::get_if<std::string>(value)) return *text;
    if (const auto* date = std::get_if<TDateTime>(value)) return DateTimeToStr(*date);
    return "";
}

TDateTime TField::AsDateTime() const {
    const FieldValue* value = Value();
    if (value == nullptr) return 0.0;
    if (const auto* date = std::get_if<TDateTime>(value)) return *date;
    if (const auto* text = std::get_if<std::string>(value)) {
        if (text->empty()) return 0.0;
        if (auto parsed = TryIsoToDateTime(*text)) return *parsed;
        if (auto parsed = TryStrToDateTime(*text)) return *parsed;
        throw EConvertError("'" + *text + "' não é uma data válida.");
    }
    return 0.0;
}

void TDataSet::Open() {
    if (active_) return;
    if (BeforeOpen) BeforeOpen(*this);
    rows_ = Fetch();
    current_ = 0;
    active_ = true;
}

void TDataSet::Close() {
    rows_.clear();
    current_ = 0;
    active_ = false;
}

bool TDataSet::Next() {
    if (current_ + 1 >= rows_.size()) return false;
    ++current_;
    return true;
}

void TDataSet::Assign(std::vector<std::vector<FieldValue>> rows) {
    rows_ = std::move(rows);
    current_ = 0;
    active_ = true;
}

const TFieldDef* TDataSet::FindFieldDef(std::string_view name) const {
    for (const auto& def : FieldDefs) {
        if (SameName(def.Name, name)) return &def;
    }
    return nullptr;
}

std::size_t TDataSet::DefineField(const TFieldDef& def) {
    for (std::size_t i = 0; i < FieldDefs.size(); ++i) {
        if (SameName(FieldDefs[i].Name, def.Name)) return i;
    }
    FieldDefs.push_back(def);
    return FieldDefs.size() - 1;
}

TField TDataSet::FieldByName(std::string_view name) const {
    for (std::size_t i = 0; i < FieldDefs.size(); ++i) {
        if (SameName(FieldDefs[i].Name, name)) return TField(*this, i);
    }
    throw EDatabaseError(DatabaseErrorCategory::Other, Name() + ": campo '" + std::string(name) + "' não encontrado.");
}

}  // namespace hostlib
