#include "host_settings.h"

#include <QSettings>

#include "hostlib/login_name.h"

namespace host::desktop {

HostSettings HostSettings::Load(bool demo_database) {
    QSettings store("vor17000", "host");
    HostSettings s;
    // On the demo database a fresh install starts with a company that exists there.
    s.company = store.value("empresa", demo_database ? "01" : "").toString();
    s.state_registration = store.value("inscricaoEstadual", demo_database ? "110042490114" : "").toString();
    s.municipal_registration = store.value("inscricaoMunicipal", demo_database ? "4587123" : "").toString();
    s.branch = store.value("filial", "1").toString();
    s.processing_date = store.value("dataProcessamento", "").toString();
    s.server = store.value("servidor", "embedded").toString();
    s.database = store.value("banco", "").toString();
    s.user = store.value("usuario", QString::fromStdString(hostlib::OperatingSystemLoginName())).toString();
    return s;
}

void HostSettings::Save() const {
    QSettings store("vor17000", "host");
    store.setValue("empresa", company);
    store.setValue("inscricaoEstadual", state_registration);
    store.setValue("inscricaoMunicipal", municipal_registration);
    store.setValue("filial", branch);
    store.setValue("dataProcessamento", processing_date);
    store.setValue("servidor", server);
    store.setValue("banco", database);
    store.setValue("usuario", user);
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

}  // namespace host::desktop
