// The server's command line: what it refuses or warns about before anything listens.
#include <gtest/gtest.h>

#include "server_options.h"

namespace {

TEST(ServerCommandLine, ListeningBeyondLoopbackTakesATokenOrAnExplicitChoice) {
    const auto open = appserver::ParseServerOptions({"--db", "sqlite:x.db", "--listen", "0.0.0.0:8217"}, nullptr);
    EXPECT_FALSE(open.command_line);
    EXPECT_NE(open.error.find("--insecure-open"), std::string::npos);
    const auto chosen =
        appserver::ParseServerOptions({"--db", "sqlite:x.db", "--listen", "0.0.0.0:8217", "--insecure-open"}, nullptr);
    ASSERT_TRUE(chosen.command_line);
    EXPECT_EQ(chosen.warnings.size(), 1u);
    const auto clear = appserver::ParseServerOptions({"--db", "sqlite:x.db", "--listen", "[::]:8217"}, "s3cret");
    ASSERT_TRUE(clear.command_line);
    ASSERT_EQ(clear.warnings.size(), 1u);  // a token in clear over the network
    EXPECT_NE(clear.warnings[0].find("TLS"), std::string::npos);
    const auto local = appserver::ParseServerOptions({"--db", "sqlite:x.db", "--listen", "127.0.0.1:0"}, nullptr);
    ASSERT_TRUE(local.command_line);
    EXPECT_TRUE(local.warnings.empty());
}

}  // namespace
