#pragma once
// The remote data module "VOR17000.rdmDataEmissao", its reading side: series and latest
// invoices over a database session of its own, written as data packets straight into the
// answer. Each event loop of the server has one; stores go to the store writer.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database_file_guard.h"
#include "core/datetime.h"
#include "core/db/database_session.h"
#include "prepared_session.h"

namespace appserver {

// A numbering control beside its latest invoice.
enum class DriftVerdict { Ok, Behind, NoDate, Unreadable };
struct DateDrift {
    std::string key;      // the code as stored, to ask for the next page after it
    std::string control;  // the code as shown (old code-page bytes decoded)
    std::optional<hostlib::TDateTime> last;            // the control's last issue date
    std::optional<hostlib::TDateTime> latest_invoice;  // its latest invoice's date
    DriftVerdict verdict = DriftVerdict::Ok;
};
// Behind: the last date falls on a day before the latest invoice's; NoDate: no last date,
// but invoices; Unreadable: the last date, or an invoice's that may be the latest, is in no
// form the server reads (that date is left out). The screen checks a new date against the invoices only when it is not
// after the last date, so a control behind lets an earlier date through unchecked.
DriftVerdict DriftVerdictOf(const std::optional<hostlib::TDateTime>& last,
                            const std::optional<hostlib::TDateTime>& latest_invoice);
// The verdict as GetDivergencias sends it.
std::string_view DriftVerdictName(DriftVerdict verdict);

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
    // `table` is "CTRLNUMENF" or "LOCALEMISSAO"; an empty `code` takes every code.
    void WriteHistorico(const std::string& table, const std::string& code, int limit, std::string& out,
                        std::size_t answer_limit);
    // A page of the drift report: at most `limit` controls after the code `after` ("" for the
    // first page), in code order.
    std::vector<DateDrift> Drift(int limit, const std::string& after);
    void WriteDivergencias(int limit, const std::string& after, std::string& out);
    // Whether the database answers a trivial query; never raises.
    bool Answers() noexcept;

    SessionKeeper& Session() { return session_.Keeper(); }
    // Lets go of the session when every session was asked to open again (a database that was
    // read-only); the event loop calls it now and then, so that an idle one lets go too.
    void ReopenIfAsked();

private:
    struct Statements;
    // Runs `work(statements)`; on failure `out` is left as it was.
    template <class Work>
    void WithDatabase(std::string& out, Work&& work);

    PreparedSession<Statements> session_;
};

}  // namespace appserver
