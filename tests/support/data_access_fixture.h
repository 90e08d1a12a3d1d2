#pragma once
// The host's data module and one query over a test database of either kind, as the screen's
// own queries run.
#include <gtest/gtest.h>

#include "hostlib/application.h"
#include "hostlib/db/data_module.h"
#include "hostlib/db/query.h"
#include "support/backends.h"
#include "support/recording_host.h"

namespace testing_support {

class DataAccessFixture : public ::testing::TestWithParam<Backend> {
protected:
    DataAccessFixture() : database(GetParam()), application(host) {
        module = &application.Create<hostlib::TdtmDBGeral>("dtmDBGeral");
        module->Open(database.Url());
        application.SetDataModule(module);
        query = &application.Create<hostlib::TADOIBQuery>("qryTeste");
    }

    testing_support::TestDatabase database;
    testing_support::RecordingHost host;
    hostlib::TApplication application;
    hostlib::TdtmDBGeral* module = nullptr;
    hostlib::TADOIBQuery* query = nullptr;
};

}  // namespace testing_support
