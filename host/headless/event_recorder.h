#pragma once
// The headless host's side of the host services: everything the screen asks the host to
// show becomes an event, kept until the next `events` command.
#include <deque>
#include <optional>

#include <nlohmann/json.hpp>

#include "hostlib/host_services.h"

namespace host {

using Json = nlohmann::ordered_json;

class EventRecorder : public hostlib::HostServices {
public:
    void ShowError(const std::string& text) override;
    void ShowException(const std::string& text, const std::string& details) override;
    void RemoteCallSucceeded(const std::string& method, const std::vector<hostlib::RemoteArgument>& arguments) override;
    int ShowAlert(const std::string& text, hostlib::TMsgDlgType type, const std::vector<std::string>& buttons,
                  int help_context) override;
    void ShowBusy(hostlib::TForm* over, hostlib::TShowAvi kind, const std::string& caption) override;
    void HideBusy() override;
    std::optional<std::size_t> ChooseFromList(const hostlib::LookupList& list) override;
    void ShowEmptyList(const std::string& title, const std::string& text) override;
    void RefreshLocalCache(const std::vector<std::string>& tables) override;
    void FormClosed(hostlib::TForm& form) override;

    void Record(Json event) { events_.push_back(std::move(event)); }
    // How the user answers the next list only: a row from 0, or nothing to cancel.
    void SetNextPick(std::optional<std::size_t> row) { next_pick_ = row; }
    // Every event since the last call, in order.
    Json TakeEvents();

private:
    std::vector<Json> events_;
    std::optional<std::size_t> next_pick_;
};

}  // namespace host
