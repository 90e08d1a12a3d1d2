#pragma once
// The server's log on standard error: one line a request or event, written whole, with
// control characters escaped so that nothing a client sends can forge a line.
#include <string>
#include <string_view>

namespace appserver {

enum class RequestLog { None, Stderr };

// `text` with control characters and backslashes written as escapes.
std::string EscapedForLog(std::string_view text);

// "vor17000-server: <text>" as one line. Events (a database failure, a file gone) are always
// told; only the line per request can be turned off.
void LogEvent(std::string_view text);

}  // namespace appserver
