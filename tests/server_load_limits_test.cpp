// What one client's heavy requests may cost the others: the memory of its large answers once
// they are sent, the work of reads nobody will read, and a loop held by a batch of reads.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Answer;
using testing_support::Backend;
using testing_support::Json;
using testing_support::RawHttpConnection;
using testing_support::Rpc;
using testing_support::RpcPost;

// Kilobytes of memory the process holds now.
long ResidentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

bool UnderSanitizers() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

class ServerLoadLimits : public ::testing::Test {
protected:
    ServerLoadLimits() : database(Backend::SQLite) { database.LoadDemo(); }
    // `count` series of the demo's registration, for answers of a few megabytes.
    void AddSeries(int count) {
        database.Execute(
            "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < " + std::to_string(count) +
            ") INSERT INTO SERIENF SELECT '01', '110042490114', NULL, 'X' || I, 'Série de volume', 'CTRL01', 'S', "
            "'N', 'N' FROM N");
    }
    // `count` stores in the history of location 0001.
    void AddHistory(int count) {
        database.Execute("WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < " +
                         std::to_string(count) +
                         ") INSERT INTO HISTDTEMISSAO (NMTABELA, CDCHAVE, DTANTERIOR, DTNOVA, NMCLIENTE, NMUSUARIO, "
                         "DSORIGEM, DTREGISTRO) SELECT 'LOCALEMISSAO', '0001', NULL, '2024-01-01 00:00:00', 'carga', "
                         "'carga', '127.0.0.1', '2024-01-01 00:00:00' FROM N");
    }
    testing_support::TestDatabase database;
};

TEST_F(ServerLoadLimits, IdleConnectionsGiveBackTheMemoryOfTheirLargestAnswer) {
    if (UnderSanitizers()) GTEST_SKIP() << "the sanitizers' allocator keeps freed memory on purpose";
    AddSeries(45000);
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    const std::string all_series = Rpc("GetSerieNF", {"01", "110042490114", "", "", "T"});
    {
        RawHttpConnection warm(server.Port());
        ASSERT_GT(warm.Exchange(all_series).body.size(), 3'000'000u);
    }
    const long before = ResidentKilobytes(server.Pid());
    std::vector<std::unique_ptr<RawHttpConnection>> idle;
    for (int i = 0; i < 20; ++i) {
        idle.push_back(std::make_unique<RawHttpConnection>(server.Port()));
        ASSERT_GT(idle.back()->Exchange(all_series, 20000).body.size(), 3'000'000u);
    }
    // Twenty answers of over 3 MB, each kept in three buffers, would hold some 200 MB.
    const long after = ResidentKilobytes(server.Pid());
    EXPECT_LT(after - before, 40 * 1024) << before << " kB before, " << after << " kB with the idle connections";
}

TEST_F(ServerLoadLimits, AReadSentAsANotificationIsNotRun) {
    testing_support::ServerProcess server(database.Url());
    database.Execute("DROP TABLE NOTAFISCAL");  // any read of the invoices fails, and says so in the log
    RawHttpConnection connection(server.Port());
    const auto none = connection.Exchange(RpcPost(R"({"jsonrpc":"2.0","method":"GetMaxData","params":["CTRL01"]})"));
    EXPECT_EQ(none.status, 204);
    EXPECT_EQ(server.Log().find("GetMaxData: "), std::string::npos) << server.Log();
    // The same read with an id runs, and its failure is logged.
    EXPECT_EQ(Answer(server.Port(), Rpc("GetMaxData", {"CTRL01"}))["error"]["code"], -32603);
    EXPECT_NE(server.Log().find("GetMaxData: "), std::string::npos) << server.Log();
}

TEST_F(ServerLoadLimits, ABatchOfHeavyReadsLetsAnotherClientOfItsLoopThrough) {
    AddHistory(1000);
    // One loop: the batch and the other client share it; room for the whole batch's answer.
    testing_support::ServerProcess server(database.Url(), {"--threads", "1", "--answer-limit", "67108864"});
    std::string batch = "[";
    for (int i = 0; i < 100; ++i) {
        if (i > 0) batch += ',';
        batch += Json{{"jsonrpc", "2.0"}, {"id", i}, {"method", "GetHistorico"}, {"params", {"LOCALEMISSAO", "", 1000}}}
                     .dump();
    }
    batch += "]";
    RawHttpConnection heavy(server.Port());
    RawHttpConnection light(server.Port());
    std::thread heavy_client([&] { heavy.Exchange(RpcPost(batch), 60000); });
    std::this_thread::sleep_for(30ms);  // the batch is being run
    const auto answer = light.Exchange(Rpc("GetMaxData", {"CTRL01"}));
    heavy_client.join();
    EXPECT_TRUE(Json::parse(answer.body).contains("result")) << answer.body;
    // The log has a line for each answer as it is made: the read's comes before the batch's.
    const std::string log = server.Log();
    const auto read_line = log.find("\nGetMaxData ");
    const auto batch_line = log.find("\nbatch ");
    ASSERT_NE(read_line, std::string::npos) << log;
    ASSERT_NE(batch_line, std::string::npos) << log;
    EXPECT_LT(read_line, batch_line) << "the read waited for the whole batch";
}

}  // namespace
