// The server's SQLite file taken away, emptied or never there: no store is acknowledged that
// the file does not keep, and a mistyped path is not quietly made a new database.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

using testing_support::Answer;
using testing_support::Backend;
using testing_support::Json;
using testing_support::Rpc;
namespace fs = std::filesystem;

namespace {

class DatabaseFile : public ::testing::Test {
protected:
    DatabaseFile() : database(Backend::SQLite) { database.LoadDemo(); }
    std::string Path() const { return database.Url().substr(7); }
    testing_support::TestDatabase database;
};

TEST_F(DatabaseFile, DeletedOrTruncatedUnderARunningServerNoStoreIsAcknowledged) {
    for (const bool truncate : {false, true}) {
        SCOPED_TRACE(truncate ? "truncated" : "deleted");
        testing_support::TestDatabase fresh(Backend::SQLite);
        fresh.LoadDemo();
        const std::string path = fresh.Url().substr(7);
        testing_support::ServerProcess server(fresh.Url(), {"--quiet"});
        ASSERT_TRUE(
            Answer(server.Port(), Rpc("UpdateCtrlNumNF", {"2031-04-04T00:00:00", "CTRL01"})).contains("result"));
        if (truncate) {
            fs::resize_file(path, 0);
        } else {
            for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix);
        }
        const Json store = Answer(server.Port(), Rpc("UpdateCtrlNumNF", {"2031-05-05T00:00:00", "CTRL01"}));
        EXPECT_EQ(store["error"]["message"],
                  "O arquivo do banco de dados foi removido ou substituído. Avise o administrador.")
            << store;
        const Json read = Answer(server.Port(), Rpc("GetMaxData", {"CTRL03"}));
        EXPECT_EQ(read["error"]["code"], -32000) << read;
        EXPECT_NE(server.Log().find(truncate ? "foi truncado" : "não existe mais"), std::string::npos) << server.Log();
    }
}

TEST_F(DatabaseFile, AMissingFileIsRefusedAtStartUnlessToldToCreateIt) {
    const std::string missing = Path() + ".digitado-errado.db";
    const auto refused = testing_support::RunServerBinary({"--db", "sqlite:" + missing, "--listen", "127.0.0.1:0"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.output.find("não existe"), std::string::npos) << refused.output;
    EXPECT_FALSE(fs::exists(missing));
    {
        testing_support::ServerProcess created("sqlite:" + missing, {"--create", "--quiet"});
        testing_support::RawHttpConnection connection(created.Port());
        EXPECT_EQ(connection.Exchange("GET /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").status,
                  200);
    }
    EXPECT_TRUE(fs::exists(missing));
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(missing + suffix);
}

}  // namespace
