#pragma once
// The host's data module: a component that is one database session, so that a form's
// datasets can name it as their connection.
#include <string>
#include <utility>

#include "core/db/database_session.h"
#include "hostlib/component.h"

namespace hostlib {

class TdtmDBGeral : public TComponent, public DatabaseSession {
public:
    explicit TdtmDBGeral(TComponent* owner, std::string name = "dtmDBGeral")
        : TComponent(owner, std::move(name)) {}
};

}  // namespace hostlib
