// How a server stops: every store it commits is answered before it goes.
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

}  // namespace
