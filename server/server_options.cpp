#include "server_options.h"

#include <boost/asio/ip/address.hpp>
#include <charconv>

#include "hostlib/settings/host_port.h"

namespace appserver {

namespace {

const char* const kUsage =
    "uso: vor17000-server --db URL [opções]\n"
    "  --db URL      sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco\n"
    "  --create      cria o arquivo SQLite quando ele não existe (sem isso, um arquivo ausente é erro)\n"
    "  --demo-data   um banco sem empresas recebe os dados de demonstração (e é criado se preciso)\n"
    "  --listen HOST:PORTA  endereço de escuta (padrão 127.0.0.1:8217)\n"
    "  --threads N   laços de atendimento (padrão: um por núcleo)\n"
    "  --body-limit BYTES   tamanho máximo do corpo de uma requisição (padrão 65536)\n"
    "  --answer-limit BYTES tamanho máximo da resposta a uma requisição (padrão 4194304)\n"
    "  --quiet       sem uma linha de registro por requisição\n"
    "  --token-file ARQUIVO  clientes e segredos (linhas NOME SEGREDO [escrita|leitura], ou um só segredo);\n"
    "                exigidos em toda requisição (Authorization: Bearer); um só segredo também por\n"
    "                VOR17000_TOKEN; SIGHUP relê o arquivo\n"
    "  --tls-cert ARQUIVO --tls-key ARQUIVO  TLS com esse certificado e chave (PEM)\n"
    "  --max-connections N  conexões abertas ao mesmo tempo (padrão: o que o limite de descritores permite)\n"
    "  --max-connections-per-address N  conexões simultâneas por endereço (padrão 4096; 0: sem limite)\n"
    "  --lock-timeout SEGUNDOS  espera máxima por um bloqueio do banco antes de responder \"ocupado\" (padrão 10)\n"
    "  --request-timeout SEGUNDOS  prazo para uma requisição chegar inteira e sua resposta ser levada (padrão 30)\n"
    "  --statement-timeout SEGUNDOS  PostgreSQL: prazo de um comando; um banco que não responde por mais\n"
    "                tempo tem a conexão cortada (padrão 30)\n"
    "  --idle-timeout SEGUNDOS  uma conexão ociosa por mais tempo é fechada (padrão 900)\n"
    "  --insecure-open  aceita escutar fora da interface local sem segredo\n"
    "  --trusted-proxy ENDEREÇO  um balanceador à frente: o endereço do cliente é o último de seu\n"
    "                X-Forwarded-For (pode se repetir)\n"
    "  --check-dates  mostra cada controle de numeração ao lado da última nota fiscal (ok, atrasado,\n"
    "                sem data) e termina: código 0 sem divergência, 1 com alguma, 2 se não pôde conferir\n"
    "  --check-token-file ARQUIVO  confere o arquivo de segredos e termina: código 0 se ele pode ser\n"
    "                usado, 2 se não (o que systemctl reload confere antes de pedir a releitura)\n"
    "  --help        mostra esta ajuda\n";

bool ParseNumber(const std::string& text, long long& out) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool ParseListen(const std::string& text, ServerOptions& options) {
    const auto listen = hostlib::ParseHostPort(text, hostlib::AnyPort::Allowed);
    if (!listen) return false;
    boost::system::error_code ec;
    boost::asio::ip::make_address(listen->host, ec);
    if (ec) return false;
    options.address = listen->host;
    options.port = listen->port;
    return true;
}

bool IsLoopback(const std::string& address) {
    boost::system::error_code ec;
    const auto parsed = boost::asio::ip::make_address(address, ec);
    return !ec && parsed.is_loopback();
}

}  // namespace

const char* ServerUsage() { return kUsage; }

ParsedServerOptions ParseServerOptions(const std::vector<std::string>& args, const char* environment_token) {
    ParsedServerOptions parsed;
    ServerCommandLine line;
    ServerOptions& options = line.options;
    const auto fail = [&parsed](std::string error) {
        parsed.error = std::move(error);
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        long long number = 0;
        const auto number_in = [&](long long low, long long high) {
            return has_value && ParseNumber(args[i + 1], number) && number >= low && number <= high;
        };
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        } else if (arg == "--db" && has_value) {
            options.database_url = args[++i];
        } else if (arg == "--create") {
            line.create = true;
        } else if (arg == "--demo-data") {
            line.demo_data = true;
        } else if (arg == "--check-dates") {
            line.check_dates = true;
        } else if (arg == "--check-token-file" && has_value) {
            line.check_token_file = args[++i];
        } else if (arg == "--insecure-open") {
            line.insecure_open = true;
        } else if (arg == "--quiet") {
            options.log = RequestLog::None;
        } else if (arg == "--token-file" && has_value) {
            options.token_file = args[++i];
            try {
                options.clients = std::make_shared<ClientTable>(ClientTable::FromFile(options.token_file));
            } catch (const std::exception& e) {
                return fail(e.what());
            }
            if (auto warning = TokenFileExposure(options.token_file)) parsed.warnings.push_back(std::move(*warning));
        } else if (arg == "--trusted-proxy" && has_value) {
            boost::system::error_code ec;
            const auto proxy = boost::asio::ip::make_address(args[i + 1], ec);
            if (ec) return fail("endereço inválido em --trusted-proxy: " + args[i + 1]);
            options.trusted_proxies.push_back(proxy.to_string());
            ++i;
        } else if (arg == "--tls-cert" && has_value) {
            options.tls_certificate = args[++i];
        } else if (arg == "--tls-key" && has_value) {
            options.tls_key = args[++i];
        } else if (arg == "--listen" && has_value && ParseListen(args[i + 1], options)) {
            ++i;
        } else if (arg == "--threads" && number_in(1, 256)) {
            options.threads = static_cast<int>(number);
            ++i;
        } else if (arg == "--body-limit" && number_in(1024, 1LL << 30)) {
            options.body_limit = static_cast<std::size_t>(number);
            ++i;
        } else if (arg == "--answer-limit" && number_in(64 * 1024, 1LL << 30)) {
            options.answer_limit = static_cast<std::size_t>(number);
            ++i;
        } else if (arg == "--max-connections" && number_in(1, 10000000)) {
            options.max_connections = static_cast<int>(number);
            ++i;
        } else if (arg == "--max-connections-per-address" && number_in(0, 1000000)) {
            options.max_connections_per_address = static_cast<int>(number);
            ++i;
        } else if (arg == "--request-timeout" && number_in(1, 3600)) {
            options.request_timeout = std::chrono::seconds(number);
            ++i;
        } else if (arg == "--statement-timeout" && number_in(1, 3600)) {
            options.statement_timeout = std::chrono::seconds(number);
            ++i;
        } else if (arg == "--idle-timeout" && number_in(1, 86400)) {
            options.idle_timeout = std::chrono::seconds(number);
            ++i;
        } else if (arg == "--lock-timeout" && number_in(1, 3600)) {
            options.lock_timeout = std::chrono::seconds(number);
            ++i;
        } else {
            return fail("opção inválida: " + arg);
        }
    }
    if (environment_token != nullptr && *environment_token != '\0' && !options.clients->RequiresToken()) {
        try {
            options.clients = std::make_shared<ClientTable>(ClientTable::FromToken(environment_token));
        } catch (const std::exception& e) {
            return fail(std::string("VOR17000_TOKEN: ") + e.what());
        }
    }
    if (!line.check_token_file.empty()) {
        parsed.command_line = std::move(line);
        return parsed;  // nothing else is needed to check a file
    }
    if (options.tls_certificate.empty() != options.tls_key.empty())
        return fail("TLS precisa de --tls-cert e --tls-key");
    if (options.database_url.empty()) return fail("falta --db");
    if (line.check_dates) {
        parsed.command_line = std::move(line);
        return parsed;  // nothing is served: the address and the secret do not matter
    }
    const bool tokens = options.clients->RequiresToken();
    const bool tls = !options.tls_certificate.empty();
    if (!IsLoopback(options.address) && !tokens && !line.insecure_open) {
        return fail("escutar em " + options.address +
                    " sem segredo deixaria qualquer um na rede alterar datas; use --token-file (ou "
                    "--insecure-open, se é isso mesmo que se quer)");
    }
    if (!IsLoopback(options.address) && !tokens) {
        parsed.warnings.push_back("escutando em " + options.address +
                                  " sem segredo: qualquer um na rede pode alterar datas");
    }
    if (tokens && !tls && !IsLoopback(options.address)) {
        parsed.warnings.push_back("segredos sem TLS viajam às claras pela rede; use --tls-cert e --tls-key");
    }
    parsed.command_line = std::move(line);
    return parsed;
}

}  // namespace appserver
