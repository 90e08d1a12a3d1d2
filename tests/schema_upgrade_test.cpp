// The schema as databases live with it for years: history numbers past 2^31, a database of an
// earlier version brought up to date when opened, and programs starting together on a new one.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "hostlib/db/data_module.h"
#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

using testing_support::Backend;

class SchemaUpgrade : public ::testing::TestWithParam<Backend> {
protected:
    SchemaUpgrade() : database(GetParam()) {}
    bool PostgreSQL() const { return GetParam() == Backend::PostgreSQL; }
    testing_support::TestDatabase database;
};

TEST_P(SchemaUpgrade, HistoryNumbersGoOnPastTwoToTheThirtyFirst) {
    database.LoadDemo();
    database.SetNextHistoryNumber(2147483647);
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    for (const char* date : {"2031-01-01T00:00:00", "2031-01-02T00:00:00", "2031-01-03T00:00:00"}) {
        const auto answer = testing_support::Call(server.Port(), "UpdateCtrlNumNF", {date, "CTRL03"});
        EXPECT_TRUE(answer.contains("result")) << answer;
    }
    EXPECT_EQ(database.QueryText("SELECT MAX(NRHISTORICO) FROM HISTDTEMISSAO"), "2147483649");
}

TEST_P(SchemaUpgrade, ADatabaseOfAnEarlierVersionIsUpgradedWhenOpened) {
    // As an earlier version left it: no index for every code's history, 32-bit history numbers.
    database.Execute("DROP INDEX IX_HISTDTEMISSAO_TABELA");
    if (PostgreSQL()) database.Execute("ALTER TABLE HISTDTEMISSAO ALTER COLUMN NRHISTORICO TYPE INTEGER");
    database.Execute("INSERT INTO EMPRESA VALUES ('09', 'Guardada')");
    hostlib::TdtmDBGeral module(nullptr, "dtmAtualizacao");
    EXPECT_FALSE(module.Connected());
    module.Open(database.Url());
    EXPECT_TRUE(module.SchemaIsCurrent());
    EXPECT_EQ(database.QueryText("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '09'"), "Guardada");
    if (PostgreSQL()) {
        EXPECT_EQ(database.QueryText("SELECT data_type FROM information_schema.columns WHERE table_schema = "
                                     "current_schema() AND table_name = 'histdtemissao' AND column_name = 'nrhistorico'"),
                  "bigint");
    } else {
        // Every code's history, newest first, is read through the index instead of a sort.
        const auto plan = database.QueryRows(
            "EXPLAIN QUERY PLAN SELECT NRHISTORICO FROM HISTDTEMISSAO WHERE NMTABELA = 'CTRLNUMENF' "
            "ORDER BY NRHISTORICO DESC LIMIT 200");
        std::string steps;
        for (const auto& row : plan) steps += row.back().value_or("") + "\n";
        EXPECT_NE(steps.find("IX_HISTDTEMISSAO_TABELA"), std::string::npos) << steps;
        EXPECT_EQ(steps.find("TEMP B-TREE"), std::string::npos) << steps;
    }
}

TEST_P(SchemaUpgrade, ProgramsLoadingTheDemoTogetherOnANewDatabaseAllStart) {
    for (int round = 0; round < 3; ++round) {
        testing_support::TestDatabase fresh(GetParam());
        std::vector<std::thread> programs;
        std::vector<std::string> failures(3);
        for (std::size_t p = 0; p < failures.size(); ++p) {
            programs.emplace_back([&, p] {
                try {
                    hostlib::TdtmDBGeral module(nullptr, "dtmDemo");
                    module.Open(fresh.Url());
                    module.LoadDemoData();
                } catch (const std::exception& e) {
                    failures[p] = e.what();
                }
            });
        }
        for (auto& program : programs) program.join();
        for (const auto& failure : failures) EXPECT_EQ(failure, "") << "round " << round;
        EXPECT_EQ(fresh.QueryText("SELECT COUNT(*) FROM EMPRESA"), "3");
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, SchemaUpgrade, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
