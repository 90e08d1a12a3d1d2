// HOST:PORT as the server's --listen and the host's server setting read it.
#include <gtest/gtest.h>

#include "core/settings/host_port.h"

using namespace hostlib;

TEST(HostPort, HostAndPortAreReadAlikeByServerAndHosts) {
    EXPECT_EQ(ParseHostPort("127.0.0.1:8217", AnyPort::Refused)->host, "127.0.0.1");
    EXPECT_EQ(ParseHostPort("servidor.local:80", AnyPort::Refused)->port, 80);
    EXPECT_EQ(ParseHostPort("[::1]:8217", AnyPort::Refused)->host, "::1");  // the brackets go
    EXPECT_EQ(ParseHostPort("127.0.0.1:0", AnyPort::Allowed)->port, 0);     // a server: any free port
    for (const char* bad : {"127.0.0.1:0", "::1:8217", "servidor", ":8217", "servidor:", "servidor:65536",
                            "servidor:80x", "[::1:80", "[]:80"}) {
        EXPECT_FALSE(ParseHostPort(bad, AnyPort::Refused)) << bad;
    }
}
