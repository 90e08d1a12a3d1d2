// vor17000-server: the application server of the issue-date screen.
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app_server.h"
#include "data_emissao_module.h"
#include "hostlib/exceptions.h"
#include "hostlib/db/data_module.h"
#include "hostlib/db/database_url.h"
#include "hostlib/settings/token_file.h"
#include "server_core.h"
#include "server_options.h"

namespace {

// An SQLite file that is not there is made only when asked for: a mistyped path must not
// quietly serve an empty database.
bool PrepareDatabase(const appserver::ServerCommandLine& line) {
    const auto url = hostlib::ParseDatabaseUrl(line.options.database_url);
    if (url && url->kind == hostlib::DatabaseKind::SQLite && !std::filesystem::exists(url->path) && !line.create &&
        !line.demo_data) {
        std::cerr << "vor17000-server: o arquivo do banco de dados " << url->path
                  << " não existe (use --create para criar um banco novo)" << std::endl;
        return false;
    }
    if (line.demo_data) {
        hostlib::TdtmDBGeral database(nullptr, "dtmDemo");
        database.Open(line.options.database_url);
        database.LoadDemoData();
    } else if (line.create) {
        hostlib::TdtmDBGeral database(nullptr, "dtmCriacao");
        database.Open(line.options.database_url);
    }
    return true;
}

// Each numbering control beside its latest invoice, a line each; 1 when any drifts.
int CheckDates(const appserver::ServerOptions& options) {
    appserver::DatabaseFileGuard file("");
    appserver::DataEmissaoModule reader(options.database_url, appserver::ServerSessionOptions(options), file);
    const auto show = [](const std::optional<hostlib::TDateTime>& date) {
        return date ? hostlib::DateTimeToStr(*date) : std::string("-");
    };
    bool drifting = false;
    for (const auto& row : reader.Drift()) {
        std::cout << row.control << '\t' << show(row.last) << '\t' << show(row.latest_invoice) << '\t'
                  << appserver::DriftVerdictName(row.verdict) << '\n';
        drifting = drifting || row.verdict != appserver::DriftVerdict::Ok;
    }
    return drifting ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto environment_token = hostlib::TokenFromEnvironment();
    const auto parsed = appserver::ParseServerOptions(std::vector<std::string>(argv + 1, argv + argc),
                                                      environment_token ? environment_token->c_str() : nullptr);
    if (parsed.help) {
        std::cout << appserver::ServerUsage();
        return 0;
    }
    if (!parsed.command_line) {
        std::cerr << "vor17000-server: " << parsed.error << "\n" << appserver::ServerUsage();
        return 2;
    }
    for (const auto& warning : parsed.warnings) std::cerr << "vor17000-server: aviso: " << warning << std::endl;
    const auto& line = *parsed.command_line;
    if (line.check_dates) {
        try {
            return CheckDates(line.options);
        } catch (const std::exception& e) {
            std::cerr << "vor17000-server: " << hostlib::FullTextOf(e) << std::endl;
            return 2;
        }
    }
    // Idle keep-alive connections are cheap here; let the descriptor limit allow many.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    try {
        std::cerr << "vor17000-server: abrindo o banco de dados "
                  << hostlib::ParseDatabaseUrl(line.options.database_url).value_or(hostlib::DatabaseUrl{}).Redacted()
                  << std::endl;
        if (!PrepareDatabase(line)) return 1;
        appserver::AppServer server(line.options);
        server.Start();
        std::cerr << "vor17000-server: servindo " << appserver::kModuleName << " em " << line.options.address << ":"
                  << server.Port() << std::endl;
        server.RunUntilSignalled();
        std::cerr << "vor17000-server: encerrado" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "vor17000-server: " << hostlib::FullTextOf(e) << std::endl;
        return 1;
    }
    return 0;
}
