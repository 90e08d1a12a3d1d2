#include "server_options.h"

#include <boost/asio/ip/address.hpp>
#include <charconv>

#include "core/settings/host_port.h"

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

namespace {

// What an option does with the text after it (nothing for a flag): a failure's text, or none.
struct OptionValue {
    const std::string& text;
    long long number;
};
using Apply = std::optional<std::string> (*)(ServerCommandLine& line, const OptionValue& value,
                                             std::vector<std::string>& warnings);

struct OptionRule {
    std::string_view name;
    enum class Takes { Nothing, Text, Number } takes;
    long long low = 0;  // Number: the range it must be in
    long long high = 0;
    Apply apply;
};

using Takes = OptionRule::Takes;
using Warnings = std::vector<std::string>;
using Result = std::optional<std::string>;

const OptionRule kOptions[] = {
    {"--db", Takes::Text, 0, 0,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.database_url = v.text;
         return {};
     }},
    {"--create", Takes::Nothing, 0, 0, [](ServerCommandLine& l, const OptionValue&, Warnings&) -> Result {
         l.create = true;
         return {};
     }},
    {"--demo-data", Takes::Nothing, 0, 0, [](ServerCommandLine& l, const OptionValue&, Warnings&) -> Result {
         l.demo_data = true;
         return {};
     }},
    {"--check-dates", Takes::Nothing, 0, 0, [](ServerCommandLine& l, const OptionValue&, Warnings&) -> Result {
         l.check_dates = true;
         return {};
     }},
    {"--check-token-file", Takes::Text, 0, 0,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.check_token_file = v.text;
         return {};
     }},
    {"--insecure-open", Takes::Nothing, 0, 0, [](ServerCommandLine& l, const OptionValue&, Warnings&) -> Result {
         l.insecure_open = true;
         return {};
     }},
    {"--quiet", Takes::Nothing, 0, 0, [](ServerCommandLine& l, const OptionValue&, Warnings&) -> Result {
         l.options.log = RequestLog::None;
         return {};
     }},
    {"--token-file", Takes::Text, 0, 0,
     [](ServerCommandLine& l, const OptionValue& v, Warnings& warnings) -> Result {
         l.options.token_file = v.text;
         try {
             l.options.clients = std::make_shared<ClientTable>(ClientTable::FromFile(v.text));
         } catch (const std::exception& e) {
             return e.what();
         }
         if (auto warning = TokenFileExposure(v.text)) warnings.push_back(std::move(*warning));
         return {};
     }},
    {"--trusted-proxy", Takes::Text, 0, 0,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         boost::system::error_code ec;
         const auto proxy = boost::asio::ip::make_address(v.text, ec);
         if (ec) return "endereço inválido em --trusted-proxy: " + v.text;
         l.options.trusted_proxies.push_back(proxy.to_string());
         return {};
     }},
    {"--tls-cert", Takes::Text, 0, 0,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.tls_certificate = v.text;
         return {};
     }},
    {"--tls-key", Takes::Text, 0, 0,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.tls_key = v.text;
         return {};
     }},
    {"--listen", Takes::Text, 0, 0,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         if (!ParseListen(v.text, l.options)) return "opção inválida: --listen";
         return {};
     }},
    {"--threads", Takes::Number, 1, 256,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.threads = static_cast<int>(v.number);
         return {};
     }},
    {"--body-limit", Takes::Number, 1024, 1LL << 30,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.body_limit = static_cast<std::size_t>(v.number);
         return {};
     }},
    {"--answer-limit", Takes::Number, 64 * 1024, 1LL << 30,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.answer_limit = static_cast<std::size_t>(v.number);
         return {};
     }},
    {"--max-connections", Takes::Number, 1, 10000000,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.max_connections = static_cast<int>(v.number);
         return {};
     }},
    {"--max-connections-per-address", Takes::Number, 0, 1000000,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.max_connections_per_address = static_cast<int>(v.number);
         return {};
     }},
    {"--request-timeout", Takes::Number, 1, 3600,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.request_timeout = std::chrono::seconds(v.number);
         return {};
     }},
    {"--statement-timeout", Takes::Number, 1, 3600,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.statement_timeout = std::chrono::seconds(v.number);
         return {};
     }},
    {"--idle-timeout", Takes::Number, 1, 86400,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.idle_timeout = std::chrono::seconds(v.number);
         return {};
     }},
    {"--lock-timeout", Takes::Number, 1, 3600,
     [](ServerCommandLine& l, const OptionValue& v, Warnings&) -> Result {
         l.options.lock_timeout = std::chrono::seconds(v.number);
         return {};
     }},
};

const OptionRule* FindOption(std::string_view name) {
    for (const OptionRule& rule : kOptions) {
        if (rule.name == name) return &rule;
    }
    return nullptr;
}

}  // namespace

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
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
        const OptionRule* rule = FindOption(arg);
        if (rule == nullptr) return fail("opção inválida: " + arg);
        static const std::string kNoText;
        long long number = 0;
        if (rule->takes != Takes::Nothing) {
            // A value missing, or a number out of its range, makes the option itself wrong.
            if (i + 1 >= args.size()) return fail("opção inválida: " + arg);
            if (rule->takes == Takes::Number &&
                !(ParseNumber(args[i + 1], number) && number >= rule->low && number <= rule->high)) {
                return fail("opção inválida: " + arg);
            }
            ++i;
        }
        const OptionValue value{rule->takes == Takes::Nothing ? kNoText : args[i], number};
        if (auto failure = rule->apply(line, value, parsed.warnings)) return fail(std::move(*failure));
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
