#pragma once
// The application server inside the test process, on a loopback port; it can be stopped
// and started again on the same port.
#include <memory>
#include <string>

#include "app_server.h"

namespace testing_support {

class EmbeddedServer {
public:
    explicit EmbeddedServer(std::string database_url, unsigned short port = 0) : url_(std::move(database_url)) {
        Start(port);
    }
    unsigned short Port() const { return port_; }
    void Stop() { server_.reset(); }
    void Restart() {
        Stop();
        Start(port_);
    }

private:
    void Start(unsigned short port) {
        appserver::ServerOptions options;
        options.database_url = url_;
        options.port = port;
        options.threads = 2;
        options.log = appserver::RequestLog::None;
        server_ = std::make_unique<appserver::AppServer>(options);
        server_->Start();
        port_ = server_->Port();
    }

    std::string url_;
    unsigned short port_ = 0;
    std::unique_ptr<appserver::AppServer> server_;
};

}  // namespace testing_support
