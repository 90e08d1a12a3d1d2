#pragma once
// The headless host: runs the real module through IniProc and drives its screen by the
// command language, one command a line, answering in JSON.
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "date_audit_client.h"
#include "event_recorder.h"
#include "host_options.h"
#include "host_session.h"

namespace host {

// A command that cannot run; its text becomes {"error": ...}.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class HeadlessSession {
public:
    // Starts the host; raises HostStartError with the reason when it cannot.
    explicit HeadlessSession(const HostOptions& options);
    ~HeadlessSession();

    // Runs one line of input, writing any answer to `out`.
    void Execute(std::string_view line, std::ostream& out);
    // End of input: the open screen is closed first.
    void Finish();

private:
    using Handler = void (HeadlessSession::*)(std::string_view args, std::ostream& out);
    static const std::map<std::string, Handler, std::less<>>& Commands();

    void Set(std::string_view args, std::ostream& out);
    void Caller(std::string_view args, std::ostream& out);
    void Open(std::string_view args, std::ostream& out);
    void Activate(std::string_view args, std::ostream& out);
    void Focus(std::string_view args, std::ostream& out);
    void Tab(std::string_view args, std::ostream& out);
    void BackTab(std::string_view args, std::ostream& out);
    void Type(std::string_view args, std::ostream& out);
    void Backspace(std::string_view args, std::ostream& out);
    void Clear(std::string_view args, std::ostream& out);
    void Key(std::string_view args, std::ostream& out);
    void Select(std::string_view args, std::ostream& out);
    void Paste(std::string_view args, std::ostream& out);
    void Pick(std::string_view args, std::ostream& out);
    void Click(std::string_view args, std::ostream& out);
    void Close(std::string_view args, std::ostream& out);
    void State(std::string_view args, std::ostream& out);
    void Events(std::string_view args, std::ostream& out);
    void Label(std::string_view args, std::ostream& out);
    void History(std::string_view args, std::ostream& out);
    void Drift(std::string_view args, std::ostream& out);

    hostlib::TForm* Screen() const { return session_.Screen(); }
    hostlib::TForm& RequireScreen() const;
    hostlib::TControl& RequireControl(std::string_view name) const;

    // The recorder outlives the session that reports to it.
    EventRecorder events_;
    HostSession session_;
    hostlib::TApplication& application_;
    std::map<std::string, hostlib::TForm*, std::less<>> callers_;
    DateAuditClient audit_{application_};
};

}  // namespace host
