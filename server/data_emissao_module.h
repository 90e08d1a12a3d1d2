#pragma once
// The remote data module "VOR17000.rdmDataEmissao": series and latest invoices, and the
// stores of new issue dates, over one database session of its own.
#include <memory>
#include <string>

#include "hostlib/datetime.h"
#include "hostlib/db/data_module.h"
#include "hostlib/exceptions.h"
#include "hostlib/net/data_packet.h"

namespace appserver {

inline constexpr const char* kModuleName = "VOR17000.rdmDataEmissao";

// A failure the user should read, answered as an application error.
class EApplicationError : public hostlib::Exception {
    using hostlib::Exception::Exception;
};

class DataEmissaoModule {
public:
    explicit DataEmissaoModule(std::string database_url, hostlib::SessionOptions session_options = {});
    ~DataEmissaoModule();

    hostlib::DataPacket GetSerieNF(const std::string& company, const std::string& state_registration,
                                   const std::string& municipal_registration, const std::string& series,
                                   const std::string& all_series);
    hostlib::DataPacket GetMaxData(const std::string& control);
    // Raise EApplicationError for a code that is not registered; nothing is stored then.
    void UpdateCtrlNumNF(hostlib::TDateTime date, const std::string& control);
    void UpDtLocal(hostlib::TDateTime date, const std::string& location);

private:
    struct Statements;
    // The session and its prepared statements, opened again after the database was lost.
    Statements& Prepared();
    template <class Work>
    auto WithDatabase(Work&& work);
    void StoreDate(bool location, hostlib::TDateTime date, const std::string& code, const std::string& unknown);

    std::string url_;
    hostlib::SessionOptions session_options_;
    std::unique_ptr<hostlib::TdtmDBGeral> database_;
    std::unique_ptr<Statements> statements_;
};

}  // namespace appserver
