#include "host_options.h"

#include <cstdlib>
#include "core/settings/token_file.h"
#include "settings_checks.h"

namespace host {

ParsedOptions ParseHostOptions(const std::vector<std::string>& arguments) {
    HostOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= arguments.size()) return false;
            out = arguments[++i];
            return true;
        };
        std::string text;
        if (arg == "--headless") {
            options.mode = HostMode::Headless;
        } else if (arg == "--db") {
            if (!value(options.database_url)) return {{}, "--db precisa de uma URL de banco de dados", false};
            options.given.database = true;
        } else if (arg == "--server") {
            if (!value(options.server)) return {{}, "--server precisa de 'embedded' ou HOST:PORTA", false};
            options.given.server = true;
        } else if (arg == "--module") {
            if (!value(text)) return {{}, "--module precisa do caminho do módulo", false};
            options.module_path = text;
        } else if (arg == "--token-file") {
            if (!value(text)) return {{}, "--token-file precisa do arquivo com o segredo", false};
            // The file of this computer's secret: one token (a line "NAME TOKEN" too).
            try {
                options.token = ReadHostToken(text);
                options.given.token = true;
            } catch (const std::exception& e) {
                return {{}, e.what(), false};
            }
        } else if (arg == "--tls-ca") {
            if (!value(options.tls_ca_file)) return {{}, "--tls-ca precisa do arquivo de certificados", false};
            options.given.tls_ca = true;
        } else if (arg == "--screenshot") {
            if (!value(text)) return {{}, "--screenshot precisa do arquivo PNG", false};
            options.screenshot = text;
        } else if (arg == "--help" || arg == "-h") {
            return {{}, "", true};
        } else {
            return {{}, "opção desconhecida: " + arg, false};
        }
    }
    if (const auto token = hostlib::TokenFromEnvironment(); token && options.token.empty()) {
        options.token = *token;
        options.given.token = true;
    }
    return {options, "", false};
}

std::string HostUsage() {
    return "uso: vor17000-host [--headless | --screenshot ARQUIVO.png] [--db URL] [--server embedded|HOST:PORTA]\n"
           "                    [--module ARQUIVO]\n"
           "                    [--token-file ARQUIVO] [--tls-ca ARQUIVO]\n";
}

std::filesystem::path ResolveModulePath(const HostOptions& options) {
    if (!options.module_path.empty()) return options.module_path;
    if (const char* env = std::getenv("VOR17000_MODULE"); env != nullptr && *env != '\0') return env;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::current_path() : exe.parent_path()) / "Pkg_Vor17000.so";
}

}  // namespace host
