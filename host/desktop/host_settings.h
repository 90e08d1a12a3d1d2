#pragma once
// The host's settings kept between runs: its current values, the server and the database.
#include <QString>

#include "host_options.h"
#include "hostlib/application.h"

namespace host::desktop {

struct HostSettings {
    QString company;
    QString state_registration;
    QString municipal_registration;
    QString branch;
    QString processing_date;  // dd/mm/yyyy; empty: today
    QString server;           // "embedded" or HOST:PORT
    QString database;         // URL; empty: the demo database
    QString user;             // who is at the keyboard, recorded with each store; may be empty

    // A user never set is the operating system's login name.
    static HostSettings Load(bool demo_database);
    void Save() const;
    // The host values the screen reads; raises nothing, a bad date reads as today.
    void ApplyTo(hostlib::HostValues& values) const;
};

}  // namespace host::desktop
