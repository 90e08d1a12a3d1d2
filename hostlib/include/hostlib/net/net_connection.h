#pragma once
// The connection to the application server: one HTTP keep-alive connection over which the
// remote data module's methods are called by name with positional arguments.
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "hostlib/component.h"
#include "core/datetime.h"
#include "core/exceptions.h"
#include "hostlib/net/data_packet.h"
#include "hostlib/net/remote_argument.h"

namespace hostlib {

// A failure of the connection or of a call; the text is for the user.
class ENetConnectionError : public Exception {
    using Exception::Exception;
};

// The members of an error's "data" object: each scalar as text (a date as the server wrote it),
// null as nothing; nested values are left out.
using RemoteErrorData = std::map<std::string, std::optional<std::string>, std::less<>>;

// An error the server answered for a call (JSON-RPC error object).
class EAppServerError : public Exception {
public:
    EAppServerError(int code, const std::string& message, RemoteErrorData data = {})
        : Exception(message), code_(code), data_(std::move(data)) {}
    int Code() const { return code_; }
    const RemoteErrorData& Data() const { return data_; }
    // A member of the data; nothing when absent or null.
    std::optional<std::string> DataValue(std::string_view name) const;

private:
    int code_;
    RemoteErrorData data_;
};

class TNetConnection;

// The remote data module, as the connection hands it out for one call.
class TAppServer {
public:
    explicit TAppServer(TNetConnection& connection) : connection_(&connection) {}
    // The method's result; raises EAppServerError for an error answer and
    // ENetConnectionError when the server cannot be reached or the connection fails.
    nlohmann::json Call(const std::string& method, const std::vector<RemoteArgument>& arguments);
    // A method that answers a data packet (EPacketError for an answer that is none).
    DataPacket CallPacket(const std::string& method, const std::vector<RemoteArgument>& arguments);
    // A method whose answer is not used.
    void CallProcedure(const std::string& method, const std::vector<RemoteArgument>& arguments);

private:
    TNetConnection* connection_;
};

class TNetConnection : public TComponent {
public:
    TNetConnection(TComponent* owner, std::string name);
    ~TNetConnection() override;

    // Every request also carries the host's Usuario, read as it goes out, in the header
    // "X-Vor17000-Usuario" (cut to what the server accepts).

    // Connecting runs BeforeConnect, then opens the connection to Host:Port and asks the
    // server for ServerName. With ThrowException false a failure goes to the host's error
    // display and leaves the connection closed; otherwise it raises ENetConnectionError.
    void SetConnected(bool connected);
    bool Connected() const;
    // The application-server object; calls made while not connected try to connect once.
    TAppServer AppServer() { return TAppServer(*this); }

    std::string ServerName;
    std::string Host = "127.0.0.1";
    int Port = 0;
    bool ThrowException = true;
    TNotifyEvent BeforeConnect;
    std::chrono::milliseconds ConnectTimeout{5000};
    std::chrono::milliseconds ReadTimeout{30000};
    // Sent as "Authorization: Bearer" on every request; empty: the host's, if any.
    std::string Token;
    // A CA file makes the connection TLS and the server's certificate is checked against it
    // and the host name; empty: the host's, if any, else plain HTTP.
    std::string TlsCaFile;

private:
    friend class TAppServer;
    struct Transport;
    // Connects, raising ENetConnectionError on failure.
    void Connect();
    void Disconnect() noexcept;
    nlohmann::json Post(const nlohmann::json& request);

    std::unique_ptr<Transport> transport_;
    std::int64_t next_id_ = 1;
};

}  // namespace hostlib
