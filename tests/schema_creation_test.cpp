// Servers started together on an empty PostgreSQL database: one makes the tables while the
// others wait for it, and every one of them starts.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

using testing_support::Backend;
using testing_support::RawHttpConnection;

TEST(SchemaCreation, ServersStartingTogetherOnAnEmptyDatabaseAllStartAndTheTablesAreMadeOnce) {
    testing_support::TestDatabase database(Backend::PostgreSQL);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        database.DropTables();
        ASSERT_EQ(database.QueryText("SELECT COUNT(*) FROM pg_tables WHERE schemaname = current_schema()"), "0");
        std::vector<std::unique_ptr<testing_support::ServerProcess>> servers(4);
        std::vector<std::string> failures(servers.size());
        std::vector<std::thread> starts;
        for (std::size_t s = 0; s < servers.size(); ++s) {
            starts.emplace_back([&, s] {
                try {
                    servers[s] = std::make_unique<testing_support::ServerProcess>(
                        database.Url(), std::vector<std::string>{"--quiet"});
                } catch (const std::exception& e) {
                    failures[s] = e.what();
                }
            });
        }
        for (auto& start : starts) start.join();
        for (std::size_t s = 0; s < servers.size(); ++s) {
            EXPECT_EQ(failures[s], "") << "server " << s;
            if (!servers[s]) continue;
            RawHttpConnection connection(servers[s]->Port());
            EXPECT_EQ(connection.Exchange("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").status, 200);
        }
        EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM pg_tables WHERE schemaname = current_schema()"), "8");
        // Every table, index and sequence was made by one transaction: one server's.
        EXPECT_EQ(database.QueryText("SELECT COUNT(DISTINCT xmin::text) FROM pg_class WHERE relnamespace = "
                                     "current_schema()::regnamespace AND relkind IN ('r', 'i', 'S')"),
                  "1");
    }
}

}  // namespace
