#include "event_recorder.h"

#include "hostlib/form.h"
#include "stored_date_message.h"

namespace host {

void EventRecorder::ShowError(const std::string& text) { Record({{"type", "error"}, {"text", text}}); }

void EventRecorder::ShowException(const std::string& text, const std::string& details) {
    Json event{{"type", "exception"}, {"text", text}};
    if (!details.empty()) event["details"] = details;
    Record(std::move(event));
}

int EventRecorder::ShowAlert(const std::string& text, hostlib::TMsgDlgType type,
                             const std::vector<std::string>& buttons, int) {
    Record({{"type", "alert"}, {"text", text}, {"dlgType", hostlib::MsgDlgTypeName(type)}, {"buttons", buttons}});
    return 0;
}

void EventRecorder::ShowBusy(hostlib::TForm*, hostlib::TShowAvi kind, const std::string& caption) {
    Record({{"type", "busy"}, {"kind", static_cast<int>(kind)}, {"caption", caption}});
}

void EventRecorder::HideBusy() { Record({{"type", "idle"}}); }

std::optional<std::size_t> EventRecorder::ChooseFromList(const hostlib::LookupList& list) {
    Record({{"type", "lookup"}, {"title", list.title}, {"columns", list.columns}, {"rows", list.rows}});
    auto pick = std::exchange(next_pick_, std::nullopt);
    if (pick && *pick >= list.rows.size()) return std::nullopt;  // past the end cancels
    return pick;
}

void EventRecorder::ShowEmptyList(const std::string& title, const std::string& text) {
    next_pick_.reset();
    Record({{"type", "lookupEmpty"}, {"title", title}, {"text", text}});
}

void EventRecorder::RemoteCallSucceeded(const std::string& method,
                                        const std::vector<hostlib::RemoteArgument>& arguments) {
    if (const auto message = StoredDateMessage(method, arguments)) Record({{"type", "stored"}, {"text", *message}});
}

void EventRecorder::RefreshLocalCache(const std::vector<std::string>& tables) {
    Record({{"type", "cache"}, {"tables", tables}});
}

void EventRecorder::FormClosed(hostlib::TForm& form) { Record({{"type", "closed"}, {"form", form.Name()}}); }

Json EventRecorder::TakeEvents() {
    Json list = Json::array();
    for (auto& event : events_) list.push_back(std::move(event));
    events_.clear();
    return {{"events", std::move(list)}};
}

}  // namespace host
