#pragma once
// Datasets: rows of typed fields with a current row, field definitions with display labels
// and visibility, and data sources that point lookups at them.
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/value.h"
#include "hostlib/component.h"

namespace hostlib {

struct TFieldDef {
    std::string Name;
    TFieldType DataType = TFieldType::ftString;
    int Size = 0;
    bool Required = false;
    std::string DisplayLabel;
    bool Visible = true;
};

class TDataSet;

// One field of the current row. With no current row it reads as null: "" and 0.
class TField {
public:
    TField(const TDataSet& dataset, std::size_t column) : dataset_(&dataset), column_(column) {}
    const TFieldDef& Def() const;
    bool IsNull() const;
    std::string AsString() const;
    // Raises EConvertError for a text that is no date.
    TDateTime AsDateTime() const;

private:
    const FieldValue* Value() const;
    const TDataSet* dataset_;
    std::size_t column_;
};

using TDataSetNotifyEvent = std::function<void(class TDataSet& dataset)>;

class TDataSet : public TComponent {
public:
    using TComponent::TComponent;

    // Fields declared before opening; a result's columns are matched to them by name,
    // without regard to case. Columns with no declared field are added as they come.
    std::vector<TFieldDef> FieldDefs;
    TDataSetNotifyEvent BeforeOpen;

    void Open();
    void Close();
    bool Active() const { return active_; }
    bool IsEmpty() const { return rows_.empty(); }
    std::size_t RecordCount() const { return rows_.size(); }
    // Current row, from 0; meaningless while empty.
    std::size_t RecNo() const { return current_; }
    void First() { current_ = 0; }
    // Moves to the next row; false at the end.
    bool Next();
    // Makes row `index` (from 0) current; an index past the end is ignored.
    void MoveTo(std::size_t index) {
        if (index < rows_.size()) current_ = index;
    }

    // Raises EDatabaseError naming the field when there is none of that name.
    TField FieldByName(std::string_view name) const;
    const TFieldDef* FindFieldDef(std::string_view name) const;
    const std::vector<std::vector<FieldValue>>& Rows() const { return rows_; }

protected:
    // Produces the rows, in the order of FieldDefs (adding definitions as needed).
    virtual std::vector<std::vector<FieldValue>> Fetch() = 0;
    // Replaces the whole content and opens on the first row (client datasets).
    void Assign(std::vector<std::vector<FieldValue>> rows);
    std::size_t DefineField(const TFieldDef& def);

private:
    friend class TField;
    std::vector<std::vector<FieldValue>> rows_;
    std::size_t current_ = 0;
    bool active_ = false;
};

class TDataSource : public TComponent {
public:
    using TComponent::TComponent;
    TDataSet* DataSet = nullptr;
};

}  // namespace hostlib
