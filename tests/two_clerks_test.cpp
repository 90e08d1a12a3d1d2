// Two clerks at once: a store says which date it replaces and which invoice check the screen
// ran, and the server checks both inside the store, after the row is locked; so no date is
// overwritten unseen and no store ends earlier than an invoice issued before it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <soci/soci.h>
#include <thread>

#include "hostlib/db/data_module.h"
#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

using testing_support::Backend;
using testing_support::Json;
using testing_support::RawHttpConnection;

// A call as a desk sends it: the user at the keyboard in its header.
Json Store(unsigned short port, const std::string& user, const std::string& method, const Json& params) {
    const std::string body = Json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}}.dump();
    RawHttpConnection connection(port);
    const auto answer = connection.Exchange("POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                            "Content-Type: application/json\r\nX-Vor17000-Usuario: " +
                                            user + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                            body);
    return Json::parse(answer.body, nullptr, false);
}

class TwoClerks : public ::testing::TestWithParam<Backend> {
protected:
    TwoClerks() : database(GetParam()) { database.LoadDemo(); }
    std::optional<std::string> Control(const std::string& code) {
        return database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + code + "'");
    }
    std::string HistoryRows(const std::string& key) {
        return *database.QueryText("SELECT COUNT(*) FROM HISTDTEMISSAO WHERE CDCHAVE = '" + key + "'");
    }
    testing_support::TestDatabase database;
};

TEST_P(TwoClerks, AStoreOverADateItDidNotSeeIsRefusedWithWhoStoredIt) {
    // Two servers behind one database: each clerk's desk talks to its own.
    testing_support::ServerProcess first(database.Url(), {"--quiet"});
    testing_support::ServerProcess second(database.Url(), {"--quiet"});
    const Json seen = {{"anterior", "2023-12-31T00:00:00"}};
    EXPECT_TRUE(Store(first.Port(), "maria.silva", "UpdateCtrlNumNF", {"2024-01-10T00:00:00", "CTRL01", seen})
                    .contains("result"));
    const Json refused = Store(second.Port(), "joao", "UpdateCtrlNumNF", {"2024-01-02T00:00:00", "CTRL01", seen});
    EXPECT_EQ(refused["error"]["code"], -32000) << refused;
    EXPECT_EQ(refused["error"]["message"],
              "A data de emissão do controle CTRL01 foi alterada para 10/01/2024 por maria.silva enquanto esta tela "
              "estava aberta. Confira a data e confirme de novo.");
    EXPECT_EQ(refused["error"]["data"],
              (Json{{"motivo", "alterada"}, {"atual", "2024-01-10T00:00:00"}, {"usuario", "maria.silva"}}));
    EXPECT_EQ(Control("CTRL01"), "2024-01-10 00:00:00");
    EXPECT_EQ(HistoryRows("CTRL01"), "1");  // a refused store writes no history
    // Having seen it, the second clerk stores.
    EXPECT_TRUE(Store(second.Port(), "joao", "UpdateCtrlNumNF",
                      {"2024-01-02T00:00:00", "CTRL01", {{"anterior", "2024-01-10T00:00:00"}}})
                    .contains("result"));
    EXPECT_EQ(Control("CTRL01"), "2024-01-02 00:00:00");
    EXPECT_EQ(HistoryRows("CTRL01"), "2");

    // A location with no date: null is what was seen, and null matches only null.
    const Json none = {{"anterior", nullptr}};
    EXPECT_TRUE(Store(first.Port(), "ana", "UpDtLocal", {"2024-07-01T00:00:00", "0002", none}).contains("result"));
    const Json gone = Store(second.Port(), "bia", "UpDtLocal", {"2024-07-02T00:00:00", "0002", none});
    EXPECT_EQ(gone["error"]["data"], (Json{{"motivo", "alterada"}, {"atual", "2024-07-01T00:00:00"}, {"usuario", "ana"}}));

    // A date another program wrote with microseconds is the date seen to the second; one the
    // history does not know names nobody.
    database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2024-02-01 08:30:15.123456' WHERE CDCTRLNUMENF = 'CTRL02'");
    EXPECT_TRUE(Store(first.Port(), "ana", "UpdateCtrlNumNF",
                      {"2024-02-02T00:00:00", "CTRL02", {{"anterior", "2024-02-01T08:30:15"}}})
                    .contains("result"));
    database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2024-03-01 00:00:00' WHERE CDCTRLNUMENF = 'CTRL02'");
    const Json unknown = Store(first.Port(), "ana", "UpdateCtrlNumNF",
                               {"2024-03-05T00:00:00", "CTRL02", {{"anterior", "2024-02-02T00:00:00"}}});
    EXPECT_EQ(unknown["error"]["message"],
              "A data de emissão do controle CTRL02 foi alterada para 01/03/2024 enquanto esta tela estava aberta. "
              "Confira a data e confirme de novo.");
    EXPECT_EQ(unknown["error"]["data"]["usuario"], nullptr);
    // Refusals are counted by reason.
    EXPECT_EQ(testing_support::MetricValue(first.Port(), "vor17000_store_refusals_total{reason=\"alterada\"}") +
                  testing_support::MetricValue(second.Port(), "vor17000_store_refusals_total{reason=\"alterada\"}"),
              3);
}

TEST_P(TwoClerks, StoresToOneCodeSentTogetherOverTheSameDateOnlyOneGoes) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    constexpr int kClerks = 8;
    std::atomic<int> ready{0};
    std::vector<Json> answers(kClerks);
    std::vector<std::thread> clerks;
    for (int c = 0; c < kClerks; ++c) {
        clerks.emplace_back([&, c] {
            ++ready;
            while (ready < kClerks) std::this_thread::yield();
            answers[static_cast<std::size_t>(c)] =
                Store(server.Port(), "c" + std::to_string(c), "UpdateCtrlNumNF",
                      {"2024-01-1" + std::to_string(c) + "T00:00:00", "CTRL01", {{"anterior", "2023-12-31T00:00:00"}}});
        });
    }
    for (auto& clerk : clerks) clerk.join();
    int stored = 0;
    for (const Json& answer : answers) {
        if (answer.contains("result")) {
            ++stored;
        } else {
            EXPECT_EQ(answer["error"]["data"]["motivo"], "alterada") << answer;
        }
    }
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(HistoryRows("CTRL01"), "1");
}

TEST_P(TwoClerks, TheInvoiceCheckIsMadeAgainInsideTheStoreByTimeOrByDay) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    // An invoice later on the processing day: the day the screen locked stores, compared by day.
    database.Execute("INSERT INTO NOTAFISCAL VALUES ('CTRL05', 9, '2024-12-10 15:00:00')");
    const Json by_time =
        Store(server.Port(), "ana", "UpdateCtrlNumNF", {"2024-12-10T00:00:00", "CTRL05", {{"notas", "hora"}}});
    EXPECT_EQ(by_time["error"]["message"],
              "Próxima data de emissão deve ser maior ou igual a 10/12/2024 15:00:00 (data da última emissão).");
    EXPECT_EQ(by_time["error"]["data"], (Json{{"motivo", "notas"}, {"emissao", "2024-12-10T15:00:00"}}));
    EXPECT_EQ(Control("CTRL05"), "2024-01-10 00:00:00");
    EXPECT_TRUE(Store(server.Port(), "ana", "UpdateCtrlNumNF", {"2024-12-10T00:00:00", "CTRL05", {{"notas", "dia"}}})
                    .contains("result"));
    // A location store checks the invoices of the control its series names.
    const Json location = Store(server.Port(), "ana", "UpDtLocal",
                                {"2024-03-01T00:00:00", "0002", {{"notas", "hora"}, {"controle", "CTRL07"}}});
    EXPECT_EQ(location["error"]["data"], (Json{{"motivo", "notas"}, {"emissao", "2024-03-12T00:00:00"}}));
    EXPECT_EQ(testing_support::MetricValue(server.Port(), "vor17000_store_refusals_total{reason=\"notas\"}"), 2);
}

TEST_P(TwoClerks, AThirdParameterNotUnderstoodIsAnInvalidParameterAndStoresNothing) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    const std::vector<std::pair<std::string, Json>> invalid = {
        {"UpdateCtrlNumNF", {"2031-01-01T00:00:00", "CTRL03", "anterior"}},
        {"UpdateCtrlNumNF", {"2031-01-01T00:00:00", "CTRL03", {{"outro", 1}}}},
        {"UpdateCtrlNumNF", {"2031-01-01T00:00:00", "CTRL03", {{"anterior", 45000}}}},
        {"UpdateCtrlNumNF", {"2031-01-01T00:00:00", "CTRL03", {{"anterior", "31/12/2023"}}}},
        {"UpdateCtrlNumNF", {"2031-01-01T00:00:00", "CTRL03", {{"notas", "minuto"}}}},
        {"UpdateCtrlNumNF", {"2031-01-01T00:00:00", "CTRL03", {{"controle", "CTRL03"}}}},
        {"UpDtLocal", {"2031-01-01T00:00:00", "0002", {{"notas", "dia"}}}},
        {"UpDtLocal", {"2031-01-01T00:00:00", "0002", {{"notas", "dia"}, {"controle", true}}}},
        {"UpDtLocal", {"2031-01-01T00:00:00", "0002", {}, "a mais"}},
    };
    for (const auto& [method, params] : invalid) {
        const Json answer = Store(server.Port(), "ana", method, params);
        EXPECT_EQ(answer["error"]["code"], -32602) << params << answer;
    }
    EXPECT_EQ(Control("CTRL03"), std::nullopt);
    EXPECT_EQ(database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '0002'"), std::nullopt);
}

TEST_P(TwoClerks, NoStoreCheckedAgainstInvoicesEndsEarlierThanAnInvoiceCommittedBeforeIt) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    database.Execute("INSERT INTO CTRLNUMENF VALUES ('CTRLR', 'Corrida', NULL)");
    // The invoicing program: takes the control's row to number each invoice, as such programs do,
    // and notes how many stores it had seen committed when it issued it.
    constexpr int kInvoices = 300;
    std::vector<long long> seen_stores(kInvoices + 1, 0);
    std::atomic<int> issued{0};
    std::atomic<int> answered{0};
    std::thread invoicing([&] {
        hostlib::TdtmDBGeral program(nullptr, "dtmFaturamento");
        program.Open(database.Url());
        auto& session = program.Session();
        for (int n = 1; n <= kInvoices; ++n) {
            // Some stores between two invoices, so that they interleave on a fast database too.
            const int before = answered;
            const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            while (answered < before + 2 && std::chrono::steady_clock::now() < patience) std::this_thread::yield();
            database.HoldRowLock(session, "CTRLR");
            long long last = 0;
            session << "SELECT COALESCE(MAX(NRHISTORICO), 0) FROM HISTDTEMISSAO WHERE CDCHAVE = 'CTRLR'",
                soci::into(last);
            char date[32];
            std::snprintf(date, sizeof date, "2030-01-%02d %02d:00:00", 1 + n / 24, n % 24);
            session << "INSERT INTO NOTAFISCAL VALUES ('CTRLR', " + std::to_string(n) + ", '" + date + "')";
            session << "COMMIT";
            seen_stores[static_cast<std::size_t>(n)] = last;
            issued = n;
        }
    });
    // Clerks storing dates around the latest invoice, checked by time.
    std::vector<std::thread> clerks;
    for (int c = 0; c < 4; ++c) {
        clerks.emplace_back([&, c] {
            std::mt19937 random(static_cast<unsigned>(c));
            while (issued < kInvoices) {
                const int hour = std::max(1, issued.load() + static_cast<int>(random() % 5) - 2);
                char date[32];
                std::snprintf(date, sizeof date, "2030-01-%02dT%02d:00:00", 1 + hour / 24, hour % 24);
                Store(server.Port(), "c", "UpdateCtrlNumNF", {date, "CTRLR", {{"notas", "hora"}}});
                ++answered;
            }
        });
    }
    invoicing.join();
    for (auto& clerk : clerks) clerk.join();
    // Each store's history number tells which invoices were committed before it.
    const auto stores = database.QueryRows(
        "SELECT NRHISTORICO, DTNOVA FROM HISTDTEMISSAO WHERE CDCHAVE = 'CTRLR' ORDER BY NRHISTORICO");
    const auto invoices = database.QueryRows(
        "SELECT NRNOTAFISCAL, DTEMISSAO FROM NOTAFISCAL WHERE CDCTRLNUMENF = 'CTRLR' ORDER BY NRNOTAFISCAL");
    ASSERT_EQ(invoices.size(), static_cast<std::size_t>(kInvoices));
    ASSERT_GT(stores.size(), 10u);
    int checked = 0;
    for (const auto& store : stores) {
        const long long number = std::stoll(*store[0]);
        const std::string date = store[1]->substr(0, 19);
        for (const auto& invoice : invoices) {
            const auto n = static_cast<std::size_t>(std::stoi(*invoice[0]));
            if (seen_stores[n] >= number) continue;  // issued after this store
            EXPECT_GE(date, invoice[1]->substr(0, 19)) << "store " << number << " invoice " << n;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, TwoClerks, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
