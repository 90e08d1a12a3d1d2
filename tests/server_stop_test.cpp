// How a server stops and changes its mind about who may talk to it: every store it commits is
// answered before it goes, a log reader going away does not take it down, and a token file that
// cannot be read again refuses everyone instead of keeping the old clients.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/eventually.h"
#include "testkit/server_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Answer;
using testing_support::Backend;
using testing_support::Json;
using testing_support::RawHttpConnection;
using testing_support::Rpc;

class ServerStop : public ::testing::TestWithParam<Backend> {
protected:
    ServerStop() : database(GetParam()) { database.LoadDemo(); }
    testing_support::TestDatabase database;
};

// A day of its own for every store of a client, so that each store is found in the history by
// its code and date.
std::string StoreDate(int round) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT00:00:00", 2100 + round / 336, 1 + (round / 28) % 12,
                  1 + round % 28);
    return text;
}

TEST_P(ServerStop, EveryStoreCommittedBeforeSigtermIsAnswered) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    constexpr int kClients = 32;
    // One location per client: every store has its own code and day.
    for (int c = 0; c < kClients; ++c) {
        database.Execute("INSERT INTO LOCALEMISSAO VALUES ('S" + std::to_string(c) + "', 'Carga', NULL)");
    }
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::vector<std::set<std::string>> acknowledged(kClients);
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            RawHttpConnection connection(server.Port());
            for (int round = 0; round < 3000 && !stop; ++round) {
                const std::string date = StoreDate(round);
                const auto reply = connection.Exchange(Rpc("UpDtLocal", {date, "S" + std::to_string(c)}), 10000);
                if (reply.status != 200) break;  // the server stopped reading: the connection is done
                if (Json::parse(reply.body, nullptr, false).contains("result")) {
                    acknowledged[static_cast<std::size_t>(c)].insert(date.substr(0, 10) + " 00:00:00");
                    ++answered;
                }
                if (reply.closed) break;
            }
        });
    }
    EXPECT_TRUE(testing_support::Eventually(60s, [&] { return answered >= 200; }, 5ms));
    EXPECT_EQ(server.Stop(SIGTERM), 0);
    stop = true;
    for (auto& client : clients) client.join();
    // Every store the database kept was answered to its client (no failure told for a kept date).
    const auto rows = database.QueryRows("SELECT CDCHAVE, DTNOVA FROM HISTDTEMISSAO WHERE NMTABELA = 'LOCALEMISSAO'");
    std::size_t kept = 0;
    for (const auto& row : rows) {
        const int c = std::stoi(row[0]->substr(1));
        const std::string date = row[1]->substr(0, 19);
        EXPECT_TRUE(acknowledged[static_cast<std::size_t>(c)].contains(date)) << "client " << c << " " << date;
        ++kept;
    }
    std::size_t told = 0;
    for (const auto& set : acknowledged) told += set.size();
    EXPECT_EQ(kept, told);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerStop, testing_support::AllBackends(), testing_support::BackendName);

TEST(ServerLog, AReaderOfTheLogThatGoesAwayDoesNotTakeTheServerDown) {
    testing_support::TestDatabase database(Backend::SQLite);
    database.LoadDemo();
    int log[2];
    ASSERT_EQ(::pipe(log), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(log[1], 2);
        ::close(log[0]);
        ::execl(SERVER_EXE, SERVER_EXE, "--db", database.Url().c_str(), "--listen", "127.0.0.1:0",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(log[1]);
    // Reads two lines (the database opened, the address served), then goes away.
    std::string read;
    char c = 0;
    int lines = 0;
    while (lines < 2 && ::read(log[0], &c, 1) == 1) {
        read += c;
        lines += c == '\n' ? 1 : 0;
    }
    ::close(log[0]);
    const auto at = read.find("em 127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << read;
    const auto port = static_cast<unsigned short>(std::stoi(read.substr(at + 13)));
    // The store's log line finds no reader: the store is still answered, and the next too.
    const Json stored = Answer(port, Rpc("UpdateCtrlNumNF", {"2031-09-09T00:00:00", "CTRL03"}));
    EXPECT_TRUE(stored.contains("result")) << stored;
    EXPECT_TRUE(Answer(port, Rpc("GetMaxData", {"CTRL01"})).contains("result"));
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the server ended";
    ::kill(pid, SIGTERM);
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

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
