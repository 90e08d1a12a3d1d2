#include "headless_session.h"

#include <algorithm>
#include <charconv>

#include "core/ascii_text.h"
#include "core/exceptions.h"
#include "core/utf8.h"

namespace host {

namespace {

std::string_view Trim(std::string_view text) { return hostlib::TrimmedBlanks(text, hostlib::kLineBlanks); }

// The first word of `text`, and the rest after the blanks that follow it.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view text) {
    text = Trim(text);
    const auto blank = text.find_first_of(" \t");
    if (blank == std::string_view::npos) return {text, {}};
    return {text.substr(0, blank), Trim(text.substr(blank))};
}

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// One JSON object a line, always valid UTF-8: whatever bytes a database or a script holds,
// the reader of this output gets a replacement character, never a broken line or an abort.
void PrintLine(std::ostream& out, const Json& json) {
    out << json.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

void RequireNoArguments(std::string_view args) {
    if (!Trim(args).empty()) throw CommandError("argumentos a mais: " + std::string(args));
}

// Every row as an object keyed by its column names; dates to the second, nulls as null.
Json RowsOf(const hostlib::TDataSet& dataset) {
    Json rows = Json::array();
    for (const auto& values : dataset.Rows()) {
        Json row = Json::object();
        for (std::size_t i = 0; i < values.size() && i < dataset.FieldDefs.size(); ++i) {
            Json& cell = row[dataset.FieldDefs[i].Name];
            if (const auto* text = std::get_if<std::string>(&values[i])) {
                cell = *text;
            } else if (const auto* date = std::get_if<hostlib::TDateTime>(&values[i])) {
                cell = hostlib::DateTimeToIso(*date).substr(0, 19);
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// A call to the server that failed is a command that could not run, with the reason.
template <class Query>
const hostlib::TDataSet& AskServer(Query&& query) {
    try {
        return query();
    } catch (const std::exception& e) {
        throw CommandError(e.what());
    }
}

}  // namespace

HeadlessSession::HeadlessSession(const HostOptions& options)
    : session_(options, events_), application_(session_.Application()) {
    session_.MainForm().OnActivate = [this](hostlib::TObject&) { events_.Record({{"type", "mainActivate"}}); };
}

HeadlessSession::~HeadlessSession() = default;

const std::map<std::string, HeadlessSession::Handler, std::less<>>& HeadlessSession::Commands() {
    static const std::map<std::string, Handler, std::less<>> commands = {
        {"set", &HeadlessSession::Set},
        {"caller", &HeadlessSession::Caller},
        {"open", &HeadlessSession::Open},
        {"activate", &HeadlessSession::Activate},
        {"focus", &HeadlessSession::Focus},
        {"tab", &HeadlessSession::Tab},
        {"backtab", &HeadlessSession::BackTab},
        {"type", &HeadlessSession::Type},
        {"backspace", &HeadlessSession::Backspace},
        {"clear", &HeadlessSession::Clear},
        {"key", &HeadlessSession::Key},
        {"select", &HeadlessSession::Select},
        {"paste", &HeadlessSession::Paste},
        {"pick", &HeadlessSession::Pick},
        {"click", &HeadlessSession::Click},
        {"close", &HeadlessSession::Close},
        {"state", &HeadlessSession::State},
        {"events", &HeadlessSession::Events},
        {"label", &HeadlessSession::Label},
        {"history", &HeadlessSession::History},
        {"drift", &HeadlessSession::Drift},
    };
    return commands;
}

void HeadlessSession::Execute(std::string_view raw_line, std::ostream& out) {
    // A script saved in the old Windows code page types what its author saw.
    const std::string text = hostlib::utf8::ValidOrWindows1252(std::string(raw_line));
    std::string_view line = text;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') return;
    // `type` and `paste` keep their text exactly, blanks included.
    std::string_view name = trimmed.substr(0, trimmed.find_first_of(" \t"));
    std::string_view args;
    if (const auto start = line.find(name) + name.size(); start < line.size()) {
        args = line.substr(start + 1);
        if (name != "type" && name != "paste") args = Trim(args);
    }
    try {
        const auto& commands = Commands();
        const auto it = commands.find(name);
        if (it == commands.end()) throw CommandError("comando desconhecido: " + std::string(name));
        (this->*(it->second))(args, out);
    } catch (const CommandError& e) {
        PrintLine(out, Json{{"error", e.what()}});
    }
    application_.ProcessReleases();
    out.flush();
}

void HeadlessSession::Finish() { session_.CloseScreen(); }

hostlib::TForm& HeadlessSession::RequireScreen() const {
    hostlib::TForm* screen = Screen();
    if (screen == nullptr) throw CommandError("nenhuma tela aberta");
    return *screen;
}

hostlib::TControl& HeadlessSession::RequireControl(std::string_view name) const {
    auto* control = RequireScreen().Find<hostlib::TControl>(name);
    if (control == nullptr) throw CommandError("controle desconhecido: " + std::string(name));
    return *control;
}

void HeadlessSession::Set(std::string_view args, std::ostream&) {
    auto [name, value] = SplitWord(args);
    auto& values = application_.Values();
    if (name == "EmprProc") {
        values.EmprProc = value;
    } else if (name == "IEstProc") {
        values.IEstProc = value;
    } else if (name == "IMunProc") {
        values.IMunProc = value;
    } else if (name == "FiliProc") {
        values.FiliProc = value;
    } else if (name == "WebURL") {
        values.WebURL = value;
    } else if (name == "WebPort") {
        const auto port = ParseInt(value);
        if (!port || *port < 0 || *port > 65535) throw CommandError("porta inválida: " + std::string(value));
        values.WebPort = *port;
    } else if (name == "Usuario") {
        values.Usuario = value;
    } else if (name == "DataProc") {
        auto [branch, date_text] = SplitWord(value);
        const auto date = hostlib::TryStrToDate(date_text);
        if (branch.empty() || !date) throw CommandError("uso: set DataProc FILIAL dd/mm/aaaa");
        values.DataProc[std::string(branch)] = *date;
    } else {
        throw CommandError("valor do host desconhecido: " + std::string(name));
    }
}

void HeadlessSession::Caller(std::string_view args, std::ostream&) {
    const std::string name(Trim(args));
    if (name.empty() || name.find_first_of(" \t") != std::string::npos) throw CommandError("uso: caller NOME");
    if (callers_.contains(name)) throw CommandError("formulário já existe: " + name);
    callers_.emplace(name, &session_.CreateCallerForm(name));
}

void HeadlessSession::Open(std::string_view args, std::ostream&) {
    auto [flag, rest] = SplitWord(args);
    if (flag.empty()) {
        session_.CallIniProc(hostlib::Variant::Null());
        return;
    }
    auto [form_name, extra] = SplitWord(rest);
    if (form_name.empty() || !extra.empty()) throw CommandError("uso: open [true|false NOME]");
    const auto caller = callers_.find(form_name);
    if (caller == callers_.end()) throw CommandError("formulário desconhecido: " + std::string(form_name));
    // The flag travels as the user wrote it, as a Boolean where it is one.
    hostlib::Variant flag_value = flag == "true"    ? hostlib::Variant(true)
                                  : flag == "false" ? hostlib::Variant(false)
                                                    : hostlib::Variant(std::string(flag));
    const auto handle = static_cast<std::int32_t>(application_.HandleOf(*caller->second));
    session_.CallIniProc(hostlib::Variant::Array({flag_value, hostlib::Variant(handle)}));
}

void HeadlessSession::Activate(std::string_view args, std::ostream&) {
    RequireNoArguments(args);
    hostlib::TForm& screen = RequireScreen();
    application_.DeactivateAll();
    application_.ActivateForm(screen);
}

void HeadlessSession::Focus(std::string_view args, std::ostream&) {
    auto* control = dynamic_cast<hostlib::TWinControl*>(&RequireControl(Trim(args)));
    if (control == nullptr) throw CommandError("controle não recebe o foco: " + std::string(args));
    RequireScreen().UserFocus(*control);
}

void HeadlessSession::Tab(std::string_view args, std::ostream&) {
    RequireNoArguments(args);
    RequireScreen().UserTab(hostlib::TabDirection::Forward);
}

void HeadlessSession::BackTab(std::string_view args, std::ostream&) {
    RequireNoArguments(args);
    RequireScreen().UserTab(hostlib::TabDirection::Backward);
}

void HeadlessSession::Type(std::string_view args, std::ostream&) {
    hostlib::TForm& screen = RequireScreen();
    for (char32_t key : hostlib::utf8::Decode(args)) {
        // A keystroke may close the screen; the rest then has nowhere to go.
        if (Screen() != &screen) break;
        screen.UserKey(key);
    }
}

void HeadlessSession::Backspace(std::string_view args, std::ostream&) {
    int count = 1;
    if (!Trim(args).empty()) {
        const auto parsed = ParseInt(Trim(args));
        if (!parsed || *parsed < 0) throw CommandError("uso: backspace [N]");
        count = *parsed;
    }
    hostlib::TForm& screen = RequireScreen();
    // A held key that stops at the first press that changes nothing (the field is empty or
    // nothing takes the key) or that fails: every press after it would go the same way. A
    // count of any size thus costs no more than the text it erases.
    for (int i = 0; i < count && Screen() == &screen; ++i) {
        if (!screen.UserKey(hostlib::kKeyBackspace)) break;
    }
}

void HeadlessSession::Clear(std::string_view args, std::ostream&) {
    RequireNoArguments(args);
    RequireScreen().UserClear();
}

void HeadlessSession::Key(std::string_view args, std::ostream&) {
    using hostlib::TEditKey;
    using hostlib::TSelectionMode;
    struct EditKeyName {
        std::string_view name;
        TEditKey key;
        TSelectionMode mode;
    };
    static constexpr EditKeyName kEditKeys[] = {
        {"home", TEditKey::Home, TSelectionMode::Move},         {"end", TEditKey::End, TSelectionMode::Move},
        {"left", TEditKey::Left, TSelectionMode::Move},         {"right", TEditKey::Right, TSelectionMode::Move},
        {"shift+home", TEditKey::Home, TSelectionMode::Extend}, {"shift+end", TEditKey::End, TSelectionMode::Extend},
        {"shift+left", TEditKey::Left, TSelectionMode::Extend}, {"shift+right", TEditKey::Right, TSelectionMode::Extend},
        {"delete", TEditKey::Delete, TSelectionMode::Move},
    };
    const std::string_view key = Trim(args);
    hostlib::TForm& screen = RequireScreen();
    if (key == "esc") {
        screen.UserKey(hostlib::kKeyEscape);
    } else if (key == "enter") {
        screen.UserKey(hostlib::kKeyEnter);
    } else if (key == "backspace") {
        screen.UserKey(hostlib::kKeyBackspace);
    } else if (key == "ctrl+a") {
        screen.UserSelectAll();
    } else {
        const auto* found = std::find_if(std::begin(kEditKeys), std::end(kEditKeys),
                                         [&](const EditKeyName& entry) { return entry.name == key; });
        if (found == std::end(kEditKeys)) throw CommandError("tecla desconhecida: " + std::string(key));
        screen.UserEditKey(found->key, found->mode);
    }
}

void HeadlessSession::Select(std::string_view args, std::ostream&) {
    auto [start_text, length_text] = SplitWord(args);
    const auto start = ParseInt(start_text);
    const auto length = ParseInt(length_text);
    if (!start || !length || *start < 0 || *length < 0) throw CommandError("uso: select INÍCIO TAMANHO");
    hostlib::TForm& screen = RequireScreen();
    const auto from = static_cast<std::size_t>(*start);
    screen.UserSelect(from, from + static_cast<std::size_t>(*length));
}

void HeadlessSession::Paste(std::string_view args, std::ostream&) { RequireScreen().UserPaste(args); }

void HeadlessSession::Pick(std::string_view args, std::ostream&) {
    const std::string_view answer = Trim(args);
    if (answer == "cancel") {
        events_.SetNextPick(std::nullopt);
        return;
    }
    const auto row = ParseInt(answer);
    if (!row || *row < 1) throw CommandError("uso: pick N | pick cancel");
    events_.SetNextPick(static_cast<std::size_t>(*row - 1));
}

void HeadlessSession::Click(std::string_view args, std::ostream&) {
    hostlib::TControl& control = RequireControl(Trim(args));
    RequireScreen().UserClick(control);
}

void HeadlessSession::Close(std::string_view args, std::ostream&) {
    RequireNoArguments(args);
    RequireScreen().UserClose();
}

void HeadlessSession::State(std::string_view args, std::ostream& out) {
    RequireNoArguments(args);
    hostlib::TForm* screen = Screen();
    Json state{{"open", screen != nullptr}, {"focus", nullptr}, {"controls", Json::object()}};
    if (screen != nullptr) {
        if (screen->ActiveControl() != nullptr) state["focus"] = screen->ActiveControl()->Name();
        for (hostlib::TComponent* component : screen->Components()) {
            const auto* control = dynamic_cast<const hostlib::TControl*>(component);
            if (control == nullptr) continue;
            Json& entry = state["controls"][control->Name()];
            entry = {{"text", control->Text()},
                     {"enabled", control->Enabled()},
                     {"color", hostlib::ColorName(control->Color())}};
            if (const auto* edit = dynamic_cast<const hostlib::TCustomEdit*>(control)) {
                entry["selStart"] = edit->SelStart();
                entry["selLength"] = edit->SelLength();
            }
        }
    }
    PrintLine(out, state);
}

void HeadlessSession::Events(std::string_view args, std::ostream& out) {
    RequireNoArguments(args);
    PrintLine(out, events_.TakeEvents());
}

void HeadlessSession::Label(std::string_view args, std::ostream& out) {
    const std::string_view name = Trim(args);
    const auto caller = callers_.find(name);
    if (caller == callers_.end()) throw CommandError("formulário desconhecido: " + std::string(name));
    auto* label = caller->second->Find<hostlib::TControl>("lblDtEmissao");
    PrintLine(out, Json{{"form", caller->first}, {"lblDtEmissao", label != nullptr ? label->Text() : ""}});
}

void HeadlessSession::History(std::string_view args, std::ostream& out) {
    auto [table_name, rest] = SplitWord(args);
    auto [code, extra] = SplitWord(rest);
    const auto table = HistoryTableFromName(table_name);
    if (!table || !extra.empty()) throw CommandError("uso: history CTRLNUMENF|LOCALEMISSAO [CÓDIGO]");
    const auto& rows =
        AskServer([&]() -> const hostlib::TDataSet& { return audit_.History(*table, std::string(code)); });
    PrintLine(out, Json{{"history", RowsOf(rows)}});
}

void HeadlessSession::Drift(std::string_view args, std::ostream& out) {
    RequireNoArguments(args);
    const auto& rows = AskServer([&]() -> const hostlib::TDataSet& { return audit_.Drift(); });
    PrintLine(out, Json{{"drift", RowsOf(rows)}});
}

}  // namespace host
