// vor17000-server: the application server of the issue-date screen.
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app_server.h"
#include "data_emissao_contract.h"
#include "data_emissao_module.h"
#include "core/exceptions.h"
#include "core/db/database_session.h"
#include "core/db/database_url.h"
#include "core/settings/token_file.h"
#include "server_core.h"
#include "server_log.h"
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
        hostlib::DatabaseSession database;
        database.Open(line.options.database_url);
        database.LoadDemoData();
    } else if (line.create) {
        hostlib::DatabaseSession database;
        database.Open(line.options.database_url);
    }
    return true;
}

// Each numbering control beside its latest invoice, a line each, read and written a page at a
// time so that any number of controls fits; 1 when any drifts. A code holding a tab or a line
// end is written escaped, so that one control is always one line of four fields.
int CheckDates(const appserver::ServerOptions& options) {
    constexpr int kPage = 1000;
    appserver::DatabaseFileGuard file("");
    appserver::DataEmissaoModule reader(options.database_url, appserver::ServerSessionOptions(options), file);
    const auto show = [](const std::optional<hostlib::TDateTime>& date) {
        return date ? hostlib::DateTimeToStr(*date) : std::string("-");
    };
    bool drifting = false;
    std::string after;
    for (;;) {
        const auto rows = reader.Drift(kPage, after);
        for (const auto& row : rows) {
            std::cout << appserver::EscapedForLog(row.control) << '\t' << show(row.last) << '\t'
                      << show(row.latest_invoice) << '\t' << appserver::DriftVerdictName(row.verdict) << '\n';
            drifting = drifting || row.verdict != appserver::DriftVerdict::Ok;
        }
        if (rows.size() < static_cast<std::size_t>(kPage)) break;
        after = rows.back().key;
    }
    return drifting ? 1 : 0;
}

// Whether the token file can be used: 0 and a line saying how many clients it names, or 2.
int CheckTokenFile(const std::string& path) {
    try {
        const auto table = appserver::ClientTable::FromFile(path);
        std::cout << "vor17000-server: arquivo de segredos " << path << " válido: " << table.Size() << " cliente(s)"
                  << std::endl;
        if (const auto warning = appserver::TokenFileExposure(path)) {
            std::cerr << "vor17000-server: aviso: " << *warning << std::endl;
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "vor17000-server: arquivo de segredos " << path << " inválido: " << e.what() << std::endl;
        return 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // A log reader that went away must not take the server (and an answer already committed)
    // with it: writes to a closed pipe fail instead of killing the process.
    std::signal(SIGPIPE, SIG_IGN);
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
    if (!line.check_token_file.empty()) return CheckTokenFile(line.check_token_file);
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
        std::cerr << "vor17000-server: servindo " << vor17000::kServerName << " em " << line.options.address << ":"
                  << server.Port() << std::endl;
        server.RunUntilSignalled();
        std::cerr << "vor17000-server: encerrado" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "vor17000-server: " << hostlib::FullTextOf(e) << std::endl;
        return 1;
    }
    return 0;
}
