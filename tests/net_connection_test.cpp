// The client side: the connection to the application server.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "hostlib/application.h"
#include "hostlib/net/net_connection.h"
#include "support/backends.h"
#include "support/embedded_server.h"
#include "support/recording_host.h"

using namespace hostlib;
using testing_support::Backend;

namespace {

class NetConnection : public ::testing::Test {
protected:
    NetConnection() : database(Backend::SQLite), server(database.Url()), application(host) {
        database.LoadDemo();
        connection = &application.Create<TNetConnection>("netTeste");
        connection->ServerName = "VOR17000.rdmDataEmissao";
        connection->BeforeConnect = [this](TObject&) {
            ++before_connect;
            connection->Host = "127.0.0.1";
            connection->Port = server.Port();
        };
    }
    testing_support::TestDatabase database;
    testing_support::EmbeddedServer server;
    testing_support::RecordingHost host;
    TApplication application;
    TNetConnection* connection = nullptr;
    int before_connect = 0;
};

TEST_F(NetConnection, ConnectRunsBeforeConnectAndCallsByName) {
    connection->SetConnected(true);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(before_connect, 1);
    const auto result = connection->AppServer().Call("GetMaxData", {std::string("CTRL03")});
    EXPECT_EQ(result["rows"][0][0], "2024-05-15T14:30:00");
    connection->SetConnected(true);  // already connected: nothing again
    EXPECT_EQ(before_connect, 1);
    connection->SetConnected(false);
    EXPECT_FALSE(connection->Connected());
}

TEST_F(NetConnection, DatesTravelAsDatesAndStoreOnTheServer) {
    connection->AppServer().Call("UpdateCtrlNumNF", {EncodeDate(2025, 2, 3), std::string("CTRL01")});
    EXPECT_EQ(database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL01'"),
              "2025-02-03 00:00:00");
}

TEST_F(NetConnection, EachStoreCarriesTheHostsUserOfThatMomentCutToWhatTheServerTakes) {
    application.Values().Usuario = "ana";
    connection->AppServer().Call("UpdateCtrlNumNF", {EncodeDate(2025, 2, 3), std::string("CTRL01")});
    // Refused by the server as it stands: a line break, a byte that is no UTF-8, 70 letters.
    application.Values().Usuario = "jo\xe3o\n" + std::string(70, 'x');
    connection->AppServer().Call("UpdateCtrlNumNF", {EncodeDate(2025, 2, 4), std::string("CTRL01")});
    const auto history = connection->AppServer().Call(
        "GetHistorico", {std::string("CTRLNUMENF"), std::string("CTRL01"), std::string("10")});
    ASSERT_EQ(history["rows"].size(), 2u);
    EXPECT_EQ(history["rows"][0][6], "jo\uFFFDo" + std::string(60, 'x'));  // newest first
    EXPECT_EQ(history["rows"][1][6], "ana");
}

TEST_F(NetConnection, ServerErrorsComeBackWithTheirCodeAndText) {
    try {
        connection->AppServer().Call("UpDtLocal", {EncodeDate(2025, 1, 1), std::string("9999")});
        FAIL();
    } catch (const EAppServerError& e) {
        EXPECT_EQ(e.Code(), -32000);
        EXPECT_STREQ(e.what(), "Local de emissão '9999' não cadastrado.");
    }
    EXPECT_TRUE(connection->Connected());  // an error answer is no broken connection
}

TEST_F(NetConnection, FailedConnectIsShownWhenNotThrowingAndLeavesItClosed) {
    server.Stop();
    connection->ThrowException = false;
    connection->ConnectTimeout = std::chrono::milliseconds(1000);
    EXPECT_NO_THROW(connection->SetConnected(true));
    EXPECT_FALSE(connection->Connected());
    ASSERT_EQ(host.Types(), (std::vector<std::string>{"exception"}));
    EXPECT_NE(host.events[0].text.find("Não foi possível conectar"), std::string::npos) << host.events[0].text;
    connection->ThrowException = true;
    EXPECT_THROW(connection->SetConnected(true), ENetConnectionError);
}

TEST_F(NetConnection, ACallWhileNotConnectedConnectsOnceAndRaisesOnFailure) {
    EXPECT_NO_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}));
    EXPECT_EQ(before_connect, 1);
    connection->SetConnected(false);
    server.Stop();
    connection->ThrowException = false;  // a call raises whatever this says
    EXPECT_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}), ENetConnectionError);
    EXPECT_EQ(before_connect, 2);
    EXPECT_FALSE(connection->Connected());
}

TEST_F(NetConnection, ADroppedConnectionIsMadeAgainOnTheNextCall) {
    connection->SetConnected(true);
    server.Restart();  // the server went away and came back; our socket is dead
    EXPECT_NO_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}));
    EXPECT_EQ(before_connect, 2);
    server.Stop();
    EXPECT_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}), ENetConnectionError);
    server.Restart();
    EXPECT_NO_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}));
}

TEST_F(NetConnection, AServerWithoutTheModuleRefusesTheConnection) {
    connection->ServerName = "VOR99999.rdmOutro";
    try {
        connection->SetConnected(true);
        FAIL();
    } catch (const ENetConnectionError& e) {
        EXPECT_NE(std::string(e.what()).find("VOR99999.rdmOutro"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(connection->Connected());
}

}  // namespace
