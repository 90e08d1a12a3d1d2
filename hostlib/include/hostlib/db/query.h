#pragma once
// A query over the host's database: SQL as lines, string parameters by name, a before-open
// handler that runs inside Open before the statement executes.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostlib/db/dataset.h"

namespace hostlib {

class TdtmDBGeral;

class TParameter {
public:
    explicit TParameter(std::string name) : name_(std::move(name)) {}
    const std::string& Name() const { return name_; }
    void SetValue(std::string value) { value_ = std::move(value); }
    // Null.
    void Clear() { value_.reset(); }
    const std::optional<std::string>& Value() const { return value_; }

private:
    std::string name_;
    std::optional<std::string> value_;
};

class TADOIBQuery : public TDataSet {
public:
    TADOIBQuery(TComponent* owner, std::string name);
    ~TADOIBQuery() override;

    // Replaces the statement; its ":NAME" placeholders become the parameters (null at first).
    void SetSQL(std::vector<std::string> lines);
    const std::vector<std::string>& SQL() const { return sql_; }
    // Raises EDatabaseError naming the parameter when the statement has none of that name.
    TParameter& ParamByName(std::string_view name);
    const std::vector<TParameter>& Params() const { return params_; }

    // The data module to run on; the host's when not set.
    TdtmDBGeral* Connection = nullptr;

protected:
    std::vector<std::vector<FieldValue>> Fetch() override;

private:
    // The statement prepared on the first open and run again by the next ones.
    struct Prepared;
    // Runs the prepared statement with its values as they are, adding the rows it finds.
    void Run(Prepared& p, std::vector<std::vector<FieldValue>>& rows);

    std::vector<std::string> sql_;
    std::vector<TParameter> params_;
    std::unique_ptr<Prepared> prepared_;
};

// Names of the ":NAME" placeholders of a statement, in order of first use; quoted text and
// "::" casts are not placeholders.
std::vector<std::string> PlaceholderNames(std::string_view sql);

}  // namespace hostlib
