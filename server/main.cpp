// vor17000-server: the application server of the issue-date screen.
#include <sys/resource.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <soci/soci.h>

#include "app_server.h"
#include "hostlib/db/data_module.h"
#include "data_emissao_module.h"

namespace {

const char* const kUsage =
    "uso: vor17000-server --db URL [--listen HOST:PORTA] [--threads N] [--body-limit BYTES] [--quiet]\n"
    "  --db         sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco\n"
    "  --listen     endereço de escuta (padrão 127.0.0.1:8217)\n"
    "  --threads    threads de trabalho (padrão: uma por núcleo)\n"
    "  --body-limit tamanho máximo do corpo de uma requisição (padrão 65536)\n"
    "  --quiet      sem uma linha de registro por requisição\n"
    "  --demo-data  um banco sem empresas recebe os dados de demonstração\n"
    "  --token-file ARQUIVO  segredo exigido em toda requisição (Authorization: Bearer);\n"
    "               também pela variável VOR17000_TOKEN\n"
    "  --tls-cert ARQUIVO --tls-key ARQUIVO  TLS com esse certificado e chave (PEM)\n"
    "  --max-connections-per-address N  conexões simultâneas por endereço (padrão 4096; 0: sem limite)\n"
    "  --lock-timeout SEGUNDOS  espera máxima por um bloqueio do banco antes de responder \"ocupado\" (padrão 10)\n";

bool ParseNumber(const std::string& text, long long& out) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool ParseListen(const std::string& text, appserver::ServerOptions& options) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    long long port = 0;
    if (!ParseNumber(text.substr(colon + 1), port) || port < 0 || port > 65535) return false;
    options.address = text.substr(0, colon);
    if (options.address.size() > 2 && options.address.front() == '[' && options.address.back() == ']') {
        options.address = options.address.substr(1, options.address.size() - 2);
    }
    options.port = static_cast<unsigned short>(port);
    return true;
}

// A database with no company yet gets the demo data, all or nothing.
void FillWithDemoData(const std::string& url) {
    hostlib::TdtmDBGeral database(nullptr, "dtmDemo");
    database.Open(url);
    int companies = 0;
    database.Session() << "SELECT COUNT(*) FROM EMPRESA", soci::into(companies);
    if (companies > 0) return;
    soci::transaction transaction(database.Session());
    database.ExecuteScript(hostlib::DemoDataScript());
    transaction.commit();
}

}  // namespace

int main(int argc, char** argv) {
    appserver::ServerOptions options;
    bool demo_data = false;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        long long number = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--token-file" && has_value) {
            std::ifstream file(args[++i]);
            if (!std::getline(file, options.token) || options.token.empty()) {
                std::cerr << "vor17000-server: não foi possível ler o segredo de " << args[i] << "\n";
                return 2;
            }
        } else if (arg == "--tls-cert" && has_value) {
            options.tls_certificate = args[++i];
        } else if (arg == "--tls-key" && has_value) {
            options.tls_key = args[++i];
        } else if (arg == "--max-connections-per-address" && has_value && ParseNumber(args[i + 1], number) &&
                   number >= 0 && number <= 1000000) {
            options.max_connections_per_address = static_cast<int>(number);
            ++i;
        } else if (arg == "--lock-timeout" && has_value && ParseNumber(args[i + 1], number) && number >= 1 &&
                   number <= 3600) {
            options.lock_timeout = std::chrono::seconds(number);
            ++i;
        } else if (arg == "--demo-data") {
            demo_data = true;
        } else if (arg == "--quiet") {
            options.log = appserver::RequestLog::None;
        } else if (arg == "--db" && has_value) {
            options.database_url = args[++i];
        } else if (arg == "--listen" && has_value && ParseListen(args[i + 1], options)) {
            ++i;
        } else if (arg == "--threads" && has_value && ParseNumber(args[i + 1], number) && number > 0 && number <= 256) {
            options.threads = static_cast<int>(number);
            ++i;
        } else if (arg == "--body-limit" && has_value && ParseNumber(args[i + 1], number) && number >= 1024) {
            options.body_limit = static_cast<std::size_t>(number);
            ++i;
        } else {
            std::cerr << "vor17000-server: opção inválida: " << arg << "\n" << kUsage;
            return 2;
        }
    }
    if (const char* token = std::getenv("VOR17000_TOKEN"); token != nullptr && options.token.empty()) {
        options.token = token;
    }
    if (options.tls_certificate.empty() != options.tls_key.empty()) {
        std::cerr << "vor17000-server: TLS precisa de --tls-cert e --tls-key\n" << kUsage;
        return 2;
    }
    if (options.database_url.empty()) {
        std::cerr << "vor17000-server: falta --db\n" << kUsage;
        return 2;
    }
    // Idle keep-alive connections are cheap here; let the descriptor limit allow many.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    try {
        if (demo_data) FillWithDemoData(options.database_url);
        appserver::AppServer server(options);
        server.Start();
        std::cerr << "vor17000-server: servindo " << appserver::kModuleName << " em " << options.address << ":"
                  << server.Port() << std::endl;
        server.RunUntilSignalled();
        std::cerr << "vor17000-server: encerrado" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "vor17000-server: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
