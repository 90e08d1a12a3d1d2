#pragma once
// The remote data module "VOR17000.rdmDataEmissao", its reading side: series and latest
// invoices over a database session of its own, written as data packets straight into the
// answer. Each event loop of the server has one; stores go to the store writer.
#include <memory>
#include <string>

#include "database_file_guard.h"
#include "hostlib/db/data_module.h"
#include "session_keeper.h"

namespace appserver {

class DataEmissaoModule {
public:
    DataEmissaoModule(std::string database_url, hostlib::SessionOptions session_options, DatabaseFileGuard& file);
    ~DataEmissaoModule();
    DataEmissaoModule(const DataEmissaoModule&) = delete;
    DataEmissaoModule& operator=(const DataEmissaoModule&) = delete;

    // Each appends the packet's JSON to `out`; on failure `out` is left as it was and the
    // error raised (EApplicationError for a date no known form reads, EAnswerTooLarge when
    // `out` would pass `limit` bytes, EDatabaseError).
    void WriteSerieNF(const std::string& company, const std::string& state_registration,
                      const std::string& municipal_registration, const std::string& series,
                      const std::string& all_series, std::string& out, std::size_t limit);
    void WriteMaxData(const std::string& control, std::string& out);
    // Whether the database answers a trivial query; never raises.
    bool Answers() noexcept;
    SessionKeeper& Session() { return session_; }

private:
    struct Statements;
    Statements& Prepared();
    template <class Work>
    void WithDatabase(std::string& out, Work&& work);

    SessionKeeper session_;
    DatabaseFileGuard& file_;
    std::unique_ptr<Statements> statements_;
    std::uint64_t statements_generation_ = 0;
};

}  // namespace appserver
