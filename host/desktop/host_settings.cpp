#include "host_settings.h"

#include <QSettings>
#include "core/login_name.h"
#include "settings_checks.h"

namespace host::desktop {

const std::vector<SettingField>& SettingFields() {
    static const std::vector<SettingField> fields = {
        {&HostSettings::company, "empresa", "&Empresa", nullptr, nullptr},
        {&HostSettings::state_registration, "inscricaoEstadual", "Inscrição &estadual", nullptr, nullptr},
        {&HostSettings::municipal_registration, "inscricaoMunicipal", "Inscrição &municipal", nullptr, nullptr},
        {&HostSettings::branch, "filial", "&Filial", nullptr, nullptr},
        {&HostSettings::user, "usuario", "&Usuário", "nome registrado em cada alteração de data", nullptr},
        {&HostSettings::processing_date, "dataProcessamento", "&Data de processamento", "dd/mm/aaaa (vazio: hoje)",
         CheckProcessingDate},
        {&HostSettings::server, "servidor", "&Servidor de aplicação", "embedded ou HOST:PORTA", CheckServer},
        {&HostSettings::database, "banco", "&Banco de dados",
         "sqlite:ARQUIVO ou postgresql://... (vazio: banco de demonstração)", CheckDatabaseUrl},
        {&HostSettings::token_file, "arquivoSegredo", "Arquivo do se&gredo", "vazio: servidor sem segredo",
         CheckTokenFile},
        {&HostSettings::tls_ca_file, "arquivoCertificados", "&Certificados do servidor (TLS)",
         "vazio: conexão sem TLS", CheckTlsCaFile},
    };
    return fields;
}

namespace {

QString DefaultDescription(const HostSettings& defaults, const SettingField& value) {
    const QString text = defaults.*value.field;
    if (!text.isEmpty()) return "'" + text + "'";
    if (value.field == &HostSettings::processing_date) return "a data de hoje";
    if (value.field == &HostSettings::database) return "o banco de demonstração";
    return "nenhum";
}

}  // namespace

HostSettings HostSettings::Load(bool demo_database, QStringList& problems) {
    HostSettings defaults;
    // On the demo database a fresh install starts with a company that exists there.
    defaults.company = demo_database ? "01" : "";
    defaults.state_registration = demo_database ? "110042490114" : "";
    defaults.municipal_registration = demo_database ? "4587123" : "";
    defaults.branch = "1";
    defaults.server = "embedded";
    defaults.user = QString::fromStdString(hostlib::OperatingSystemLoginName());

    QSettings store(kSettingsOrganization, kSettingsApplication);
    HostSettings s = defaults;
    for (const SettingField& value : SettingFields()) {
        const QString saved = store.value(value.key, defaults.*value.field).toString();
        if (value.check) {
            if (const auto problem = value.check(saved.toStdString())) {
                problems << QString("A configuração \"%1\" salva ('%2') não pôde ser usada: %3 Usando %4.")
                                .arg(QString(value.label).remove('&'), saved, QString::fromStdString(*problem),
                                     DefaultDescription(defaults, value));
                continue;
            }
        }
        s.*value.field = saved;
    }
    return s;
}

void HostSettings::Save() const {
    QSettings store(kSettingsOrganization, kSettingsApplication);
    for (const SettingField& value : SettingFields()) store.setValue(value.key, this->*value.field);
}

void HostSettings::ApplyTo(hostlib::HostValues& values) const {
    values.EmprProc = company.toStdString();
    values.IEstProc = state_registration.toStdString();
    values.IMunProc = municipal_registration.toStdString();
    values.FiliProc = branch.toStdString();
    values.Usuario = user.toStdString();
    values.DataProc.clear();
    if (const auto date = hostlib::TryStrToDate(processing_date.toStdString()))
        values.DataProc[values.FiliProc] = *date;
}

HostOptions HostSettings::Merged(HostOptions options) const {
    // A value of the options other than its default was asked for, whoever set it.
    if (!options.given.database && options.database_url.empty()) options.database_url = database.toStdString();
    if (!options.given.server && options.server == "embedded" && !server.isEmpty()) {
        options.server = server.toStdString();
    }
    if (!options.given.tls_ca && options.tls_ca_file.empty()) options.tls_ca_file = tls_ca_file.toStdString();
    if (!options.given.token && options.token.empty() && !token_file.isEmpty()) {
        try {
            options.token = ReadHostToken(token_file.toStdString());
        } catch (const std::exception&) {
            // Checked when loaded; a file gone since then leaves the desk without a secret.
        }
    }
    return options;
}

}  // namespace host::desktop
