// The token file read again on SIGHUP: a file that cannot be read refuses everyone instead of
// keeping the old clients, until a good one is.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/eventually.h"
#include "testkit/server_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Backend;
using testing_support::RawHttpConnection;

class TokenReload : public ::testing::Test {
protected:
    TokenReload()
        : database(Backend::SQLite),
          tokens(fs::temp_directory_path() / ("vor17000_reload_" + std::to_string(::getpid()))) {
        database.LoadDemo();
        Write("caixa1 s1\ncaixa2 s2\n");
    }
    ~TokenReload() override { fs::remove(tokens); }
    void Write(const std::string& text) {
        std::ofstream(tokens, std::ios::trunc) << text;
        fs::permissions(tokens, fs::perms::owner_read | fs::perms::owner_write);
    }
    int Status(unsigned short port, const std::string& token) {
        RawHttpConnection connection(port);
        const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":["CTRL01"]})";
        return connection
            .Exchange("POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                      "Content-Type: application/json\r\nAuthorization: Bearer " +
                      token + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body)
            .status;
    }
    int Health(unsigned short port) {
        RawHttpConnection connection(port);
        return connection.Exchange("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").status;
    }
    // The server reads the file again; the next request is checked against what it read.
    void Reload(testing_support::ServerProcess& server) {
        const auto lines = server.Log().size();
        ::kill(server.Pid(), SIGHUP);
        testing_support::Eventually(2s, [&] { return server.Log().size() != lines; }, 10ms);
    }

    testing_support::TestDatabase database;
    fs::path tokens;
};

TEST_F(TokenReload, AFileThatCannotBeReadAgainRefusesEveryoneUntilAGoodOneIs) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--token-file", tokens.string()});
    ASSERT_EQ(Status(server.Port(), "s2"), 200);
    struct Broken {
        const char* what;
        std::function<void()> make;
    };
    const Broken broken[] = {
        {"malformed", [&] { Write("caixa1 s1 dono\n"); }},
        {"emptied", [&] { Write("# ninguém\n"); }},
        {"deleted", [&] { fs::remove(tokens); }},
    };
    for (const Broken& b : broken) {
        SCOPED_TRACE(b.what);
        b.make();
        Reload(server);
        EXPECT_EQ(Status(server.Port(), "s1"), 401);
        EXPECT_EQ(Status(server.Port(), "s2"), 401);
        EXPECT_EQ(Health(server.Port()), 503);
        EXPECT_NE(server.Log().find("arquivo de segredos inválido"), std::string::npos) << server.Log();
        // Only a good file brings service back, and only for the clients it names.
        Write("caixa1 s1\n");
        Reload(server);
        EXPECT_EQ(Status(server.Port(), "s1"), 200);
        EXPECT_EQ(Status(server.Port(), "s2"), 401);
        EXPECT_EQ(Health(server.Port()), 200);
    }
}

TEST_F(TokenReload, TheFileIsCheckedBeforeAReloadAndAtStart) {
    const auto good = testing_support::RunServerBinary({"--check-token-file", tokens.string()});
    EXPECT_EQ(good.exit_code, 0) << good.output;
    EXPECT_NE(good.output.find("2 cliente"), std::string::npos) << good.output;
    Write("# nenhum cliente\n");
    const auto empty = testing_support::RunServerBinary({"--check-token-file", tokens.string()});
    EXPECT_EQ(empty.exit_code, 2) << empty.output;
    // A file without clients never means "no token needed".
    const auto start = testing_support::RunServerBinary(
        {"--db", database.Url(), "--listen", "127.0.0.1:0", "--token-file", tokens.string()});
    EXPECT_EQ(start.exit_code, 2) << start.output;
    EXPECT_NE(start.output.find("nenhum segredo"), std::string::npos) << start.output;
    // Readable by others: served, with a warning that says how to mend it.
    Write("caixa1 s1\n");
    fs::permissions(tokens, fs::perms::others_read, fs::perm_options::add);
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--token-file", tokens.string()});
    EXPECT_NE(server.Log().find("chmod 600"), std::string::npos) << server.Log();
}

}  // namespace
