// A balancer in front of the server: the history records the client the balancer reports,
// and only when the connection really comes from a balancer the administrator named.
#include <gtest/gtest.h>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

using testing_support::Backend;
using testing_support::Json;
using testing_support::RawHttpConnection;

class TrustedProxy : public ::testing::Test {
protected:
    TrustedProxy() : database(Backend::SQLite) { database.LoadDemo(); }
    // Stores a date on `code` with `forwarded` as the X-Forwarded-For line (none when empty);
    // the origin the history then records for it.
    std::optional<std::string> OriginOfStore(unsigned short port, const std::string& code,
                                             const std::string& forwarded) {
        const std::string body = Json{{"jsonrpc", "2.0"},
                                      {"id", 1},
                                      {"method", "UpdateCtrlNumNF"},
                                      {"params", {"2031-08-08T00:00:00", code}}}
                                     .dump();
        std::string request = "POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              "Content-Type: application/json\r\n";
        if (!forwarded.empty()) request += "X-Forwarded-For: " + forwarded + "\r\n";
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        RawHttpConnection connection(port);
        const auto answer = connection.Exchange(request);
        EXPECT_TRUE(Json::parse(answer.body, nullptr, false).contains("result")) << answer.body;
        return database.QueryText("SELECT DSORIGEM FROM HISTDTEMISSAO WHERE CDCHAVE = '" + code +
                                  "' ORDER BY NRHISTORICO DESC");
    }
    testing_support::TestDatabase database;
};

TEST_F(TrustedProxy, TheLastForwardedAddressIsTheClientsWhenTheConnectionIsTheBalancers) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--trusted-proxy", "127.0.0.1"});
    // The first entries are whatever the client wrote; the balancer adds the last.
    EXPECT_EQ(OriginOfStore(server.Port(), "CTRL01", "203.0.113.9, 198.51.100.7"), "198.51.100.7");
    EXPECT_EQ(OriginOfStore(server.Port(), "CTRL02", " 198.51.100.8 "), "198.51.100.8");
    EXPECT_EQ(OriginOfStore(server.Port(), "CTRL03", "2001:db8::1"), "2001:db8::1");
    // Nothing usable in the line: the connection's own address stands.
    EXPECT_EQ(OriginOfStore(server.Port(), "CTRL04", ""), "127.0.0.1");
    EXPECT_EQ(OriginOfStore(server.Port(), "CTRL05", "198.51.100.7, caixa-03"), "127.0.0.1");
    EXPECT_EQ(OriginOfStore(server.Port(), "CTRL06", "198.51.100.7,"), "127.0.0.1");
}

TEST_F(TrustedProxy, AForwardedAddressFromAnyoneElseIsIgnored) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--quiet"}, std::vector<std::string>{"--quiet", "--trusted-proxy", "10.0.0.1"}}) {
        SCOPED_TRACE(options.size() == 1 ? "no balancer named" : "another balancer named");
        testing_support::ServerProcess server(database.Url(), options);
        EXPECT_EQ(OriginOfStore(server.Port(), options.size() == 1 ? "CTRL01" : "CTRL02", "198.51.100.7"),
                  "127.0.0.1");
    }
}

TEST_F(TrustedProxy, ABalancerThatIsNoAddressStopsTheStart) {
    const auto result = testing_support::RunServerBinary(
        {"--db", database.Url(), "--listen", "127.0.0.1:0", "--trusted-proxy", "balanceador.local"});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.output.find("endereço inválido em --trusted-proxy: balanceador.local"), std::string::npos)
        << result.output;
}

}  // namespace
