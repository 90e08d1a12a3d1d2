// Who changed which date: the history every store writes, the clients named in the token
// file with their rights, and the report of controls whose last date lags their invoices.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/backends.h"
#include "testkit/eventually.h"
#include "testkit/server_process.h"

using Json = nlohmann::json;
using testing_support::Backend;
using testing_support::RawHttpConnection;
namespace fs = std::filesystem;

namespace {

class History : public ::testing::TestWithParam<Backend> {
protected:
    History()
        : database(GetParam()),
          tokens(fs::temp_directory_path() / ("vor17000_clientes_" + std::to_string(::getpid()))) {
        database.LoadDemo();
        WriteTokens("caixa1 token-caixa\nauditoria token-auditoria leitura\n");
    }
    ~History() override { fs::remove(tokens); }
    void WriteTokens(const std::string& text) { std::ofstream(tokens) << text; }
    Json Call(unsigned short port, const std::string& token, const std::string& method, const Json& params,
              const std::string& user = "maria") {
        RawHttpConnection connection(port);
        const std::string body = Json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}}.dump();
        const auto answer =
            connection.Exchange("POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                "Content-Type: application/json\r\nAuthorization: Bearer " +
                                token + "\r\nX-Vor17000-Usuario: " + user +
                                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        if (answer.status != 200) return Json{{"http", answer.status}};
        return Json::parse(answer.body);
    }
    std::optional<std::string> Control(const std::string& code) {
        return database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + code + "'");
    }

    testing_support::TestDatabase database;
    fs::path tokens;
};

TEST_P(History, EveryStoreIsRecordedWithWhoWhenAndFromWhatNewestFirst) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--token-file", tokens.string()});
    ASSERT_TRUE(
        Call(server.Port(), "token-caixa", "UpdateCtrlNumNF", {"2025-01-02T00:00:00", "CTRL01"}).contains("result"));
    ASSERT_TRUE(Call(server.Port(), "token-caixa", "UpdateCtrlNumNF", {"2025-01-03T00:00:00", "CTRL01"}, "joão")
                    .contains("result"));
    ASSERT_TRUE(Call(server.Port(), "token-caixa", "UpDtLocal", {"2025-02-01T10:30:00", "0002"}).contains("result"));
    // An unknown code stores nothing and records nothing.
    EXPECT_EQ(Call(server.Port(), "token-caixa", "UpdateCtrlNumNF", {"2025-01-04T00:00:00", "NADA"})["error"]["code"],
              -32000);

    const Json packet = Call(server.Port(), "token-auditoria", "GetHistorico", {"CTRLNUMENF", "CTRL01", 10})["result"];
    ASSERT_EQ(packet["columns"].size(), 10u);
    EXPECT_EQ(packet["columns"][3]["name"], "DTANTERIOR");
    const Json& rows = packet["rows"];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], "CTRLNUMENF");
    EXPECT_EQ(rows[0][2], "CTRL01");
    EXPECT_EQ(rows[0][3], "2025-01-02T00:00:00");  // the one before
    EXPECT_EQ(rows[0][4], "2025-01-03T00:00:00");
    EXPECT_EQ(rows[0][5], "caixa1");
    EXPECT_EQ(rows[0][6], "joão");
    EXPECT_EQ(rows[0][7], "127.0.0.1");
    EXPECT_TRUE(rows[0][8].is_string());
    EXPECT_EQ(rows[1][3], "2023-12-31T00:00:00");  // the demo's date, replaced by the first store
    EXPECT_GT(std::stoll(rows[0][0].get<std::string>()), std::stoll(rows[1][0].get<std::string>()));

    const Json locations = Call(server.Port(), "token-auditoria", "GetHistorico", {"LOCALEMISSAO", "", "5"})["result"];
    ASSERT_EQ(locations["rows"].size(), 1u);
    EXPECT_TRUE(locations["rows"][0][3].is_null());  // 0002 had no date
    EXPECT_EQ(Call(server.Port(), "token-auditoria", "GetHistorico", {"CTRLNUMENF", "", 1})["result"]["rows"].size(),
              1u);
    for (const Json& bad : {Json{"CTRLNUMENF", "", 0}, Json{"CTRLNUMENF", "", 1001}, Json{"CTRLNUMENF", "", "x"},
                            Json{"EMPRESA", "", 10}, Json{"CTRLNUMENF", "", 2.5}}) {
        EXPECT_EQ(Call(server.Port(), "token-auditoria", "GetHistorico", bad)["error"]["code"], -32602) << bad;
    }
}

// Old dates as other programs left them: the history keeps what the server read (empty text
// as none; a value no form reads as none, with its text in DSDTANTERIOR), and one row a
// listing cannot read never hides the others.
struct OldDate {
    const char* table;
    const char* code;
    const char* stored;  // SQL for the old date as another program wrote it
    const char* read;    // DTANTERIOR in the history, null when none
    const char* text;    // DSDTANTERIOR, null when none
};

TEST_P(History, AnOldDateNoFormReadsIsRecordedAsNoneWithItsTextAndEveryRowIsListed) {
    std::vector<OldDate> cases;
    if (GetParam() == Backend::SQLite) {
        cases = {{"LOCALEMISSAO", "0002", "''", nullptr, nullptr},
                 {"CTRLNUMENF", "CTRL01", "1704067200", nullptr, "1704067200"},
                 {"CTRLNUMENF", "CTRL02", "'31/12/2023'", nullptr, "31/12/2023"},
                 {"CTRLNUMENF", "CTRL03", "'2024-05-15T23:00'", "2024-05-15T23:00:00", nullptr}};
    } else {
        database.Execute("ALTER TABLE CTRLNUMENF ALTER COLUMN DTEMISCTNUNF TYPE date");
        cases = {{"LOCALEMISSAO", "0002", "'-infinity'", nullptr, "-infinity"},
                 {"CTRLNUMENF", "CTRL01", "'infinity'", nullptr, "infinity"},
                 {"CTRLNUMENF", "CTRL02", "'10000-01-01'", nullptr, "10000-01-01"},
                 {"CTRLNUMENF", "CTRL03", "'2024-05-15'", "2024-05-15T00:00:00", nullptr}};
    }
    for (const auto& c : cases) {
        const std::string column = std::string(c.table) == "CTRLNUMENF" ? "DTEMISCTNUNF" : "DTULTEMISLCE";
        const std::string key = std::string(c.table) == "CTRLNUMENF" ? "CDCTRLNUMENF" : "CDLOCALEMIS";
        database.Execute(std::string("UPDATE ") + c.table + " SET " + column + " = " + c.stored + " WHERE " + key +
                         " = '" + c.code + "'");
    }
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--token-file", tokens.string()});
    for (const auto& c : cases) {
        const char* method = std::string(c.table) == "CTRLNUMENF" ? "UpdateCtrlNumNF" : "UpDtLocal";
        EXPECT_TRUE(Call(server.Port(), "token-caixa", method, {"2025-01-02T00:00:00", c.code}).contains("result"))
            << c.code;
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const Json packet = Call(server.Port(), "token-auditoria", "GetHistorico", {c.table, c.code, 10});
        ASSERT_TRUE(packet.contains("result")) << packet;
        ASSERT_EQ(packet["result"]["columns"].size(), 10u);
        EXPECT_EQ(packet["result"]["columns"][9], (Json{{"name", "DSDTANTERIOR"}, {"type", "string"}, {"size", 64}}));
        const Json& rows = packet["result"]["rows"];
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][3], c.read != nullptr ? Json(c.read) : Json());
        EXPECT_EQ(rows[0][4], "2025-01-02T00:00:00");
        EXPECT_EQ(rows[0][9], c.text != nullptr ? Json(c.text) : Json());
    }
    // Rows another program (or a version before this one) wrote with such dates are listed
    // too: the date as none, an old date's text beside it.
    if (GetParam() == Backend::SQLite) {
        database.Execute(
            "INSERT INTO HISTDTEMISSAO (NMTABELA, CDCHAVE, DTANTERIOR, DTNOVA, NMCLIENTE, NMUSUARIO, DSORIGEM, "
            "DTREGISTRO) VALUES ('CTRLNUMENF', 'CTRL09', '31/12/2023', 'amanhã', '', '', '', '2025-01-02 10:00:00')");
    } else {
        database.Execute(
            "INSERT INTO HISTDTEMISSAO (NMTABELA, CDCHAVE, DTANTERIOR, DTNOVA, NMCLIENTE, NMUSUARIO, DSORIGEM, "
            "DTREGISTRO) VALUES ('CTRLNUMENF', 'CTRL09', 'infinity', '-infinity', '', '', '', '2025-01-02 10:00:00')");
    }
    const Json all = Call(server.Port(), "token-auditoria", "GetHistorico", {"CTRLNUMENF", "", 10});
    ASSERT_TRUE(all.contains("result")) << all;
    const Json& rows = all["result"]["rows"];
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][2], "CTRL09");
    EXPECT_TRUE(rows[0][3].is_null());
    EXPECT_TRUE(rows[0][4].is_null());
    EXPECT_EQ(rows[0][9], GetParam() == Backend::SQLite ? "31/12/2023" : "infinity");
}

TEST_P(History, AReadingClientIsRefusedAndARevokedTokenStopsWorkingOnSighup) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--token-file", tokens.string()});
    const Json refused = Call(server.Port(), "token-auditoria", "UpdateCtrlNumNF", {"2025-01-02T00:00:00", "CTRL01"});
    EXPECT_EQ(refused["error"]["code"], -32000);
    EXPECT_EQ(refused["error"]["message"], "Cliente sem permissão para alterar datas.");
    EXPECT_EQ(Control("CTRL01"), "2023-12-31 00:00:00");
    EXPECT_TRUE(Call(server.Port(), "token-auditoria", "GetMaxData", {"CTRL01"}).contains("result"));

    WriteTokens("auditoria token-auditoria leitura\n");
    ::kill(server.Pid(), SIGHUP);
    EXPECT_TRUE(testing_support::Eventually(std::chrono::seconds(1), [&] {
        return Call(server.Port(), "token-caixa", "GetMaxData", {"CTRL01"}) == Json{{"http", 401}};
    }));
    EXPECT_TRUE(Call(server.Port(), "token-auditoria", "GetMaxData", {"CTRL01"}).contains("result"));
    EXPECT_EQ(Call(server.Port(), "token-auditoria", "GetMaxData", {"CTRL01"}, std::string(65, 'u')),
              (Json{{"http", 400}}));
}

TEST_P(History, AHistoryRowThatCannotBeWrittenLeavesTheDateAsItWas) {
    database.RefuseHistoryFor("CTRL02");
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--token-file", tokens.string()});
    const Json refused = Call(server.Port(), "token-caixa", "UpdateCtrlNumNF", {"2025-03-01T00:00:00", "CTRL02"});
    EXPECT_TRUE(refused.contains("error")) << refused;
    EXPECT_EQ(Control("CTRL02"), "2024-02-28 00:00:00");
    // Stores arriving together are committed together: the refused one fails alone.
    std::atomic<int> stored = 0;
    std::atomic<int> refused_alone = 0;
    std::vector<std::thread> clients;
    for (int c = 0; c < 6; ++c) {
        clients.emplace_back([&, c] {
            const std::string code = c == 0 ? "CTRL02" : "CTRL0" + std::to_string(c % 3 + 3);
            for (int day = 1; day <= 20; ++day) {
                char date[32];
                std::snprintf(date, sizeof date, "2025-%02d-%02dT00:00:00", c + 3, day);
                const Json answer = Call(server.Port(), "token-caixa", "UpdateCtrlNumNF", {date, code});
                (answer.contains("result") ? stored : refused_alone) += c == 0 ? 100 : 1;
            }
        });
    }
    for (auto& client : clients) client.join();
    EXPECT_EQ(stored, 100);
    EXPECT_EQ(refused_alone, 2000);
    EXPECT_EQ(Control("CTRL02"), "2024-02-28 00:00:00");
    EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM HISTDTEMISSAO"), "100");
}

TEST_P(History, AnOlderDatabaseGetsTheTableAndNothingElseIsTouched) {
    database.Execute("DROP TABLE HISTDTEMISSAO");
    const auto before = database.QueryText("SELECT COUNT(*) FROM SERIENF");
    {
        testing_support::ServerProcess server(database.Url(), {"--quiet"});
        RawHttpConnection connection(server.Port());
        connection.Exchange(testing_support::RpcPost(
            R"({"jsonrpc":"2.0","id":1,"method":"UpdateCtrlNumNF","params":["2025-05-05T00:00:00","CTRL04"]})"));
    }
    EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM HISTDTEMISSAO"), "1");
    EXPECT_EQ(database.QueryText("SELECT NMCLIENTE FROM HISTDTEMISSAO"), "");  // no tokens, no client
    EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM SERIENF"), before);
}

TEST_P(History, AHistoryMadeBeforeTheOldDatesTextGetsThatColumnAndKeepsItsRows) {
    database.Execute("ALTER TABLE HISTDTEMISSAO DROP COLUMN DSDTANTERIOR");
    database.Execute(
        "INSERT INTO HISTDTEMISSAO (NMTABELA, CDCHAVE, DTANTERIOR, DTNOVA, NMCLIENTE, NMUSUARIO, DSORIGEM, DTREGISTRO) "
        "VALUES ('CTRLNUMENF', 'CTRL04', NULL, '2024-01-02 00:00:00', '', 'ana', '', '2024-01-02 10:00:00')");
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--token-file", tokens.string()});
    ASSERT_TRUE(
        Call(server.Port(), "token-caixa", "UpdateCtrlNumNF", {"2025-05-05T00:00:00", "CTRL04"}).contains("result"));
    const Json rows =
        Call(server.Port(), "token-auditoria", "GetHistorico", {"CTRLNUMENF", "CTRL04", 10})["result"]["rows"];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][4], "2025-05-05T00:00:00");
    EXPECT_EQ(rows[1][6], "ana");
    EXPECT_TRUE(rows[1][9].is_null());
}

TEST_P(History, TheDriftReportGivesEachVerdictAndItsExitCode) {
    // The demo: CTRL09 lags its invoice (atrasado), CTRL03 has invoices and no date (sem data),
    // CTRL01 matches its invoice, CTRL04 has neither (ok).
    const auto report = testing_support::RunServerBinary({"--check-dates", "--db", database.Url()});
    EXPECT_EQ(report.exit_code, 1) << report.output;
    EXPECT_NE(report.output.find("CTRL09\t10/01/2024\t20/01/2024\tatrasado\n"), std::string::npos) << report.output;
    EXPECT_NE(report.output.find("CTRL03\t-\t15/05/2024 14:30:00\tsem data\n"), std::string::npos);
    EXPECT_NE(report.output.find("CTRL01\t31/12/2023\t31/12/2023\tok\n"), std::string::npos);
    EXPECT_NE(report.output.find("CTRL04\t-\t-\tok\n"), std::string::npos);
    // An invoice later on the control's own last day does not drift.
    database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2024-06-01 00:00:00' WHERE CDCTRLNUMENF = 'CTRL10'");
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    RawHttpConnection connection(server.Port());
    const auto answer = connection.Exchange(
        testing_support::RpcPost(R"({"jsonrpc":"2.0","id":1,"method":"GetDivergencias","params":[]})"));
    const Json rows = Json::parse(answer.body)["result"]["rows"];
    std::map<std::string, std::string> verdicts;
    for (const auto& row : rows) verdicts[row[0]] = row[3];
    EXPECT_EQ(verdicts["CTRL10"], "ok");
    EXPECT_EQ(verdicts["CTRL09"], "atrasado");
    EXPECT_EQ(verdicts["CTRL03"], "sem data");

    database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2025-01-01 00:00:00'");
    EXPECT_EQ(testing_support::RunServerBinary({"--check-dates", "--db", database.Url()}).exit_code, 0);
}

TEST_P(History, TheDriftReportComesInPagesAndNoCodeForgesALine) {
    database.Execute("WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 2500) "
                     "INSERT INTO CTRLNUMENF (CDCTRLNUMENF, DSCTRLNUMENF, DTEMISCTNUNF) "
                     "SELECT 'P' || CAST(I AS VARCHAR(8)), 'Carga', NULL FROM N");
    database.Execute("INSERT INTO CTRLNUMENF (CDCTRLNUMENF, DSCTRLNUMENF) VALUES ('A\tB', 'Tab'), ('C\nCTRL77', 'Linha')");
    const std::size_t controls = std::stoul(*database.QueryText("SELECT COUNT(*) FROM CTRLNUMENF"));
    // One line of four fields for every control, whatever its code holds, read page by page.
    const auto report = testing_support::RunServerBinary({"--check-dates", "--db", database.Url()});
    std::size_t lines = 0;
    std::istringstream text(report.output);
    for (std::string line; std::getline(text, line);) {
        ++lines;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
    }
    EXPECT_EQ(lines, controls);
    EXPECT_NE(report.output.find("A\\x09B\t"), std::string::npos);
    EXPECT_NE(report.output.find("C\\x0aCTRL77\t"), std::string::npos);
    // Over the wire: pages of at most 1000 after a code, together every control once.
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    std::set<std::string> seen;
    std::string after;
    for (int page = 0; page < 10; ++page) {
        RawHttpConnection connection(server.Port());
        const Json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "GetDivergencias"}, {"params", {1000, after}}};
        const Json rows = Json::parse(connection.Exchange(testing_support::RpcPost(request.dump())).body)["result"]["rows"];
        for (const auto& row : rows) EXPECT_TRUE(seen.insert(row[0]).second) << row[0];
        if (rows.size() < 1000) break;
        after = rows.back()[0];
    }
    EXPECT_EQ(seen.size(), controls);
}

INSTANTIATE_TEST_SUITE_P(Backends, History, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
