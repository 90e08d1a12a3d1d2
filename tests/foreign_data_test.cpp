// Data as other programs write it: dates in every common form and column type, text in an
// older code page, and an invoice date no form reads, all through a real server.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "support/backends.h"
#include "testkit/server_process.h"

using Json = nlohmann::json;
using testing_support::Backend;
using testing_support::RawHttpConnection;
using testing_support::RpcPost;

namespace {

class ForeignData : public ::testing::TestWithParam<Backend> {
protected:
    ForeignData() : database(GetParam()) { database.LoadDemo(); }
    Json Call(const std::string& method, const Json& params) { return Call(database, method, params); }
    Json Call(testing_support::TestDatabase& served, const std::string& method, const Json& params) {
        if (!server)
            server =
                std::make_unique<testing_support::ServerProcess>(served.Url(), std::vector<std::string>{"--quiet"});
        RawHttpConnection connection(server->Port());
        const Json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
        return Json::parse(connection.Exchange(RpcPost(request.dump())).body);
    }
    Json LatestInvoice(const std::string& control) { return Call("GetMaxData", {control})["result"]["rows"][0][0]; }

    testing_support::TestDatabase database;
    std::unique_ptr<testing_support::ServerProcess> server;
};

struct DateForm {
    const char* stored;
    const char* read;
};

TEST_P(ForeignData, DatesInEveryCommonTextFormAreRead) {
    if (GetParam() != Backend::SQLite) GTEST_SKIP() << "a typed column keeps no text form";
    const DateForm forms[] = {
        {"2024-04-01", "2024-04-01T00:00:00"},
        {"2024-04-01 09:15", "2024-04-01T09:15:00"},
        {"2024-04-01T09:15:00", "2024-04-01T09:15:00"},
        {"2024-04-01 09:15:00.123456", "2024-04-01T09:15:00.123"},  // what now() writes
        {"2024-04-01T09:15:00.5", "2024-04-01T09:15:00.500"},
        {"2024-04-01 23:59:59.999999999", "2024-04-01T23:59:59.999"},  // cut, never rounded up
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.stored);
        database.Execute(std::string("UPDATE NOTAFISCAL SET DTEMISSAO = '") + form.stored +
                         "' WHERE CDCTRLNUMENF = 'CTRL03'");
        database.Execute(std::string("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '") + form.stored +
                         "' WHERE CDCTRLNUMENF = 'CTRL01'");
        EXPECT_EQ(LatestInvoice("CTRL03"), form.read);
        EXPECT_EQ(Call("GetSerieNF", {"01", "110042490114", "", "1", ""})["result"]["rows"][0][3], form.read);
    }
}

// Empty text where a date belongs is no date, as the host's own queries read it.
TEST_P(ForeignData, EmptyTextIsNoDate) {
    if (GetParam() != Backend::SQLite) GTEST_SKIP() << "a typed column holds no text";
    database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '' WHERE CDCTRLNUMENF = 'CTRL01'");
    database.Execute("INSERT INTO NOTAFISCAL VALUES ('CTRL03', 3, '')");
    EXPECT_TRUE(Call("GetSerieNF", {"01", "110042490114", "", "1", ""})["result"]["rows"][0][3].is_null());
    EXPECT_EQ(LatestInvoice("CTRL03"), "2024-05-15T14:30:00");
    std::map<std::string, Json> rows;
    const Json drift = Call("GetDivergencias", Json::array());
    for (const Json& row : drift["result"]["rows"]) rows[row[0]] = row;
    EXPECT_EQ(rows["CTRL01"], (Json{"CTRL01", nullptr, "2023-12-31T00:00:00", "sem data"})) << drift;
}

TEST_P(ForeignData, TimestampTimestamptzAndDateColumnsAreRead) {
    if (GetParam() != Backend::PostgreSQL) GTEST_SKIP() << "SQLite has no column types of its own";
    database.Execute("ALTER TABLE NOTAFISCAL ALTER COLUMN DTEMISSAO TYPE timestamptz");
    database.Execute("ALTER TABLE CTRLNUMENF ALTER COLUMN DTEMISCTNUNF TYPE date");
    database.Execute("UPDATE NOTAFISCAL SET DTEMISSAO = '2024-04-01 09:15:00.123456' WHERE CDCTRLNUMENF = 'CTRL03'");
    database.Execute("UPDATE NOTAFISCAL SET DTEMISSAO = now() WHERE CDCTRLNUMENF = 'CTRL06'");
    database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2024-02-28' WHERE CDCTRLNUMENF = 'CTRL01'");
    EXPECT_EQ(LatestInvoice("CTRL03"), "2024-04-01T09:15:00.123");
    EXPECT_TRUE(LatestInvoice("CTRL06").is_string());
    EXPECT_EQ(Call("GetSerieNF", {"01", "110042490114", "", "1", ""})["result"]["rows"][0][3], "2024-02-28T00:00:00");
    // A store into a date column keeps the day.
    EXPECT_TRUE(Call("UpdateCtrlNumNF", {"2024-03-01T00:00:00", "CTRL01"}).contains("result"));
    EXPECT_EQ(Call("GetSerieNF", {"01", "110042490114", "", "1", ""})["result"]["rows"][0][3], "2024-03-01T00:00:00");
    // timestamp with microseconds, from now().
    database.Execute("ALTER TABLE NOTAFISCAL ALTER COLUMN DTEMISSAO TYPE timestamp");
    server.reset();  // statements prepared on the old column type are gone with their server
    database.Execute("UPDATE NOTAFISCAL SET DTEMISSAO = '2024-04-01 09:15:00.654321' WHERE CDCTRLNUMENF = 'CTRL03'");
    EXPECT_EQ(LatestInvoice("CTRL03"), "2024-04-01T09:15:00.654");
}

TEST_P(ForeignData, AnUnreadableDateIsAnApplicationErrorNamingWhere) {
    if (GetParam() != Backend::SQLite) GTEST_SKIP() << "a typed column holds no unreadable date";
    database.Execute("UPDATE NOTAFISCAL SET DTEMISSAO = 'amanhã' WHERE CDCTRLNUMENF = 'CTRL03'");
    database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '31/12/2023' WHERE CDCTRLNUMENF = 'CTRL01'");
    const Json max = Call("GetMaxData", {"CTRL03"});
    EXPECT_EQ(max["error"]["code"], -32000) << max;
    EXPECT_EQ(max["error"]["message"], "Data ilegível gravada na tabela NOTAFISCAL para o código 'CTRL03'.");
    const Json serie = Call("GetSerieNF", {"01", "110042490114", "", "1", ""});
    EXPECT_EQ(serie["error"]["code"], -32000) << serie;
    EXPECT_EQ(serie["error"]["message"], "Data ilegível gravada na tabela CTRLNUMENF para o código 'CTRL01'.");
    // The rest is served as before, by the same workers.
    EXPECT_EQ(LatestInvoice("CTRL07"), "2024-03-12T00:00:00");
    EXPECT_TRUE(Call("UpdateCtrlNumNF", {"2024-01-05T00:00:00", "CTRL03"}).contains("result"));
}

// Invoices of CTRL03 as other programs write them, the server's clock in `zone`, and the one
// that is latest by its date and time (texts sort otherwise: a "T" after a blank, "9:15" after
// "10:00", a zone not at all).
struct LatestInvoiceCase {
    const char* what;
    const char* zone;
    std::vector<const char*> invoices;
    const char* latest;
    const char* verdict;  // of CTRL03 in the drift report, its last date being 15/05/2024
};

TEST_P(ForeignData, TheLatestInvoiceIsChosenByItsDateAndTimeNotByItsText) {
    const LatestInvoiceCase cases[] = {
        {"a zone west of UTC",
         "UTC",
         {"2024-05-15 23:30:00", "2024-05-15 23:00:00-03:00"},
         "2024-05-16T02:00:00",
         "atrasado"},
        {"a T and a blank", "UTC", {"2024-05-15 22:00:00", "2024-05-15T10:00:00"}, "2024-05-15T22:00:00", "ok"},
        {"a one-digit hour", "UTC", {"2024-05-15 10:00:00", "2024-05-15 9:15"}, "2024-05-15T10:00:00", "ok"},
        {"a clock ahead of UTC",
         "Asia/Tokyo",
         {"2024-05-16 08:00:00", "2024-05-15 23:00:00-03:00"},
         "2024-05-16T11:00:00",
         "atrasado"},
        {"a clock behind UTC",
         "America/Sao_Paulo",
         {"2024-05-15 23:30:00", "2024-05-16 01:00:00+00:00"},
         "2024-05-15T23:30:00",
         "ok"},
    };
    // A PostgreSQL column that keeps zones; there a text without one is in the writer's zone.
    if (GetParam() == Backend::PostgreSQL)
        database.Execute("ALTER TABLE NOTAFISCAL ALTER COLUMN DTEMISSAO TYPE timestamptz");
    database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2024-05-15 00:00:00' WHERE CDCTRLNUMENF = 'CTRL03'");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (GetParam() == Backend::PostgreSQL) database.Execute(std::string("SET TIME ZONE '") + c.zone + "'");
        database.Execute("DELETE FROM NOTAFISCAL WHERE CDCTRLNUMENF = 'CTRL03'");
        for (std::size_t i = 0; i < c.invoices.size(); ++i) {
            database.Execute("INSERT INTO NOTAFISCAL VALUES ('CTRL03', " + std::to_string(i + 1) + ", '" +
                             c.invoices[i] + "')");
        }
        server = std::make_unique<testing_support::ServerProcess>(
            database.Url(), std::vector<std::string>{"--quiet"}, testing_support::ProcessSettings{.time_zone = c.zone});
        EXPECT_EQ(LatestInvoice("CTRL03"), std::string(c.latest));
        const Json drift = Call("GetDivergencias", Json::array());
        bool listed = false;
        for (const Json& row : drift["result"]["rows"]) {
            if (row[0] != "CTRL03") continue;
            listed = true;
            EXPECT_EQ(row[2], std::string(c.latest));
            EXPECT_EQ(row[3], std::string(c.verdict));
        }
        EXPECT_TRUE(listed) << drift;
    }
}

// An invoice date in no form the server reads might be the latest: GetMaxData says so rather
// than guess, and the drift report gives that control its own verdict and lists the rest.
TEST_P(ForeignData, AnUnreadableInvoiceDateIsNamedAndTheDriftReportStillListsEveryControl) {
    if (GetParam() == Backend::SQLite) {
        database.Execute("INSERT INTO NOTAFISCAL VALUES ('CTRL03', 3, '15/05/2024')");  // sorts before every ISO text
    } else {
        database.Execute("INSERT INTO NOTAFISCAL VALUES ('CTRL03', 3, 'infinity')");  // a timestamp, but no date
    }
    const Json max = Call("GetMaxData", {"CTRL03"});
    EXPECT_EQ(max["error"]["code"], -32000) << max;
    EXPECT_EQ(max["error"]["message"], "Data ilegível gravada na tabela NOTAFISCAL para o código 'CTRL03'.");
    const Json drift = Call("GetDivergencias", Json::array());
    ASSERT_TRUE(drift.contains("result")) << drift;
    std::map<std::string, Json> rows;
    for (const Json& row : drift["result"]["rows"]) rows[row[0]] = row;
    EXPECT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows["CTRL03"], (Json{"CTRL03", nullptr, nullptr, "ilegível"}));
    EXPECT_EQ(rows["CTRL09"][3], "atrasado");
    const auto report = testing_support::RunServerBinary({"--check-dates", "--db", database.Url()});
    EXPECT_EQ(report.exit_code, 1) << report.output;
    EXPECT_NE(report.output.find("CTRL03\t-\t-\tilegível\n"), std::string::npos) << report.output;
    EXPECT_NE(report.output.find("CTRL01\t31/12/2023\t31/12/2023\tok\n"), std::string::npos) << report.output;
    // The other controls are served as before.
    EXPECT_EQ(LatestInvoice("CTRL07"), "2024-03-12T00:00:00");
}

TEST_P(ForeignData, AnOlderSqliteDatabaseGetsTheIndexOfInvoicesByTheirDate) {
    if (GetParam() != Backend::SQLite) GTEST_SKIP() << "PostgreSQL compares its typed column by value";
    const std::string index =
        "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = 'IX_NOTAFISCAL_VALOR'";
    database.Execute("DROP INDEX IX_NOTAFISCAL_VALOR");
    ASSERT_EQ(database.QueryText(index), "0");
    EXPECT_EQ(LatestInvoice("CTRL03"), "2024-05-15T14:30:00");  // the server made it at its start
    EXPECT_EQ(database.QueryText(index), "1");
}

TEST_P(ForeignData, TextInWindows1252IsDecoded) {
    // A database that keeps bytes as they come, with "Série Única" as an older system wrote it.
    testing_support::TestDatabase bytes(GetParam(), testing_support::TextEncoding::AnyBytes);
    const std::string description = bytes.TextOfBytes("S\xE9rie \xDAnica");
    bytes.Execute("INSERT INTO CTRLNUMENF VALUES ('C1', 'Controle', NULL)");
    bytes.Execute("INSERT INTO SERIENF VALUES ('01', 'I1', NULL, '1', " + description + ", 'C1', 'S', 'N', 'N')");
    const Json rows = Call(bytes, "GetSerieNF", {"01", "I1", "", "1", ""})["result"]["rows"];
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "Série Única");
}

// Codes an older system wrote in Windows-1252 come out decoded; sent back as the screen shows
// them, they find their rows: every read and store asks again in that code page when a code
// beyond ASCII finds nothing, and the history keeps the code as the table does.
TEST_P(ForeignData, CodesInTheOldCodePageAreFoundByTheirDecodedText) {
    testing_support::TestDatabase bytes(GetParam(), testing_support::TextEncoding::AnyBytes);
    const std::string control = bytes.TextOfBytes("C\xC7" "1");  // "CÇ1"
    bytes.Execute("INSERT INTO CTRLNUMENF VALUES (" + control + ", 'Antigo', '2024-08-01')");
    bytes.Execute("INSERT INTO SERIENF VALUES ('01', 'I1', NULL, " + bytes.TextOfBytes("S\xC9") + ", 'Serie', " +
                  control + ", 'S', 'N', 'N')");  // series "SÉ"
    bytes.Execute("INSERT INTO NOTAFISCAL VALUES (" + control + ", 1, '2024-08-20 10:00:00')");
    const std::string location = bytes.TextOfBytes("S\xC3O1");  // "SÃO1"
    bytes.Execute("INSERT INTO LOCALEMISSAO VALUES (" + location + ", 'Antiga', NULL)");

    const Json series = Call(bytes, "GetSerieNF", {"01", "I1", "", "SÉ", ""});
    ASSERT_EQ(series["result"]["rows"].size(), 1u) << series;
    EXPECT_EQ(series["result"]["rows"][0][2], "CÇ1");
    EXPECT_EQ(series["result"]["rows"][0][3], "2024-08-01T00:00:00");
    EXPECT_EQ(Call(bytes, "GetMaxData", {"CÇ1"})["result"]["rows"][0][0], "2024-08-20T10:00:00");
    EXPECT_TRUE(Call(bytes, "UpdateCtrlNumNF", {"2024-08-21T00:00:00", "CÇ1"}).contains("result"));
    EXPECT_TRUE(Call(bytes, "UpDtLocal", {"2024-08-22T00:00:00", "SÃO1"}).contains("result"));
    EXPECT_EQ(bytes.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = " + control),
              "2024-08-21 00:00:00");
    EXPECT_EQ(bytes.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = " + location),
              "2024-08-22 00:00:00");
    const Json history = Call(bytes, "GetHistorico", {"CTRLNUMENF", "CÇ1", 10});
    ASSERT_EQ(history["result"]["rows"].size(), 1u) << history;
    EXPECT_EQ(history["result"]["rows"][0][2], "CÇ1");
    EXPECT_EQ(history["result"]["rows"][0][3], "2024-08-01T00:00:00");
    const Json unknown = Call(bytes, "UpdateCtrlNumNF", {"2024-08-21T00:00:00", "CÇ9"});
    EXPECT_EQ(unknown["error"]["message"], "Controle de numeração de NF 'CÇ9' não cadastrado.") << unknown;
}

// A database that keeps only UTF-8 holds no key in another code page, and is never asked in one.
TEST_P(ForeignData, AnUnknownCodeBeyondAsciiIsUnknownOnADatabaseOfUtf8) {
    EXPECT_EQ(Call("UpdateCtrlNumNF", {"2024-08-21T00:00:00", "CÇ9"})["error"]["message"],
              "Controle de numeração de NF 'CÇ9' não cadastrado.");
    EXPECT_EQ(Call("UpDtLocal", {"2024-08-21T00:00:00", "SÃO9"})["error"]["message"],
              "Local de emissão 'SÃO9' não cadastrado.");
    EXPECT_TRUE(Call("GetMaxData", {"CÇ9"})["result"]["rows"][0][0].is_null());
    EXPECT_EQ(Call("GetSerieNF", {"01", "110042490114", "", "SÉ", ""})["result"]["rows"].size(), 0u);
    EXPECT_EQ(Call("GetHistorico", {"CTRLNUMENF", "CÇ9", 10})["result"]["rows"].size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ForeignData, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
