#pragma once
// The host's settings kept between runs: its current values, the server, the database and
// the files of the desk's secret and of the server's certificate authority.
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host_options.h"
#include "hostlib/application.h"

namespace host::desktop {

// Where QSettings keeps the settings: its organisation and application names.
inline constexpr const char* kSettingsOrganization = "vor17000";
inline constexpr const char* kSettingsApplication = "host";

struct HostSettings {
    QString company;
    QString state_registration;
    QString municipal_registration;
    QString branch;
    QString processing_date;  // dd/mm/yyyy; empty: today
    QString server;           // "embedded" or HOST:PORT
    QString database;         // URL; empty: the demo database
    QString user;             // who is at the keyboard, recorded with each store; may be empty
    QString token_file;       // this desk's secret for the server; empty: none
    QString tls_ca_file;      // certificates to check the server with; empty: plain HTTP

    // A user never set is the operating system's login name. A saved value that does not
    // pass its check is replaced by its default, and `problems` gets a sentence saying so.
    static HostSettings Load(bool demo_database, QStringList& problems);
    void Save() const;
    // The host values the screen reads; raises nothing, a bad date reads as today.
    void ApplyTo(hostlib::HostValues& values) const;
    // The options of this run: the command line's where it gave them, these elsewhere.
    HostOptions Merged(HostOptions options) const;
};

// One value of the settings: where it is kept, its label and hint in the dialog, and its
// check (null: any text will do).
struct SettingField {
    using Check = std::optional<std::string> (*)(std::string_view text);
    QString HostSettings::*field;
    const char* key;
    const char* label;  // with its mnemonic
    const char* hint;   // the placeholder of an empty field; may be null
    Check check;
};

// In the order of the dialog.
const std::vector<SettingField>& SettingFields();

}  // namespace host::desktop
