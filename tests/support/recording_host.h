#pragma once
// A host application for tests: it records what the host library asks it to show and
// answers lists as the test says.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hostlib/application.h"
#include "core/exceptions.h"
#include "hostlib/host_services.h"

namespace testing_support {

struct HostEvent {
    std::string type;  // error, exception, alert, busy, idle, lookup, lookupEmpty, cache, closed
    std::string text;
    int kind = 0;
    std::vector<std::string> items;
    hostlib::TForm* form = nullptr;
};

class RecordingHost : public hostlib::HostServices {
public:
    void ShowError(const std::string& text) override { Add("error", text); }
    // The details, what a driver said, go in the event's items.
    void ShowException(const std::string& text, const std::string& details) override {
        Add("exception", text, 0, details.empty() ? std::vector<std::string>{} : std::vector<std::string>{details});
    }
    int ShowAlert(const std::string& text, hostlib::TMsgDlgType, const std::vector<std::string>& buttons,
                  int) override {
        Add("alert", text, 0, buttons);
        return 0;
    }
    void ShowBusy(hostlib::TForm* over, hostlib::TShowAvi kind, const std::string& caption) override {
        Add("busy", caption, static_cast<int>(kind), {}, over);
        if (on_busy) on_busy();
    }
    void HideBusy() override { Add("idle"); }
    std::optional<std::size_t> ChooseFromList(const hostlib::LookupList& list) override {
        Add("lookup", list.title, 0, list.columns);
        return std::exchange(next_pick, std::nullopt);
    }
    void ShowEmptyList(const std::string& title, const std::string& text) override {
        Add("lookupEmpty", text, 0, {title});
    }
    void RefreshLocalCache(const std::vector<std::string>& tables) override {
        Add("cache", "", 0, tables);
        if (fail_cache_refresh) throw hostlib::Exception("cache indisponível");
    }
    void FormClosed(hostlib::TForm& form) override { Add("closed", "", 0, {}, &form); }

    // The types of the events so far, in order.
    std::vector<std::string> Types() const {
        std::vector<std::string> out;
        for (const auto& e : events) out.push_back(e.type);
        return out;
    }

    void Add(std::string type, std::string text = "", int kind = 0, std::vector<std::string> items = {},
             hostlib::TForm* form = nullptr) {
        events.push_back(HostEvent{std::move(type), std::move(text), kind, std::move(items), form});
    }

    std::vector<HostEvent> events;
    std::optional<std::size_t> next_pick;
    bool fail_cache_refresh = false;
    // Runs while the wait animation is being shown, to look at the state at that moment.
    std::function<void()> on_busy;
};

}  // namespace testing_support
