#include "language_resources.h"

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "hostlib/controls.h"
#include "hostlib/form.h"
#include "hostlib/messages.h"

namespace Pkg_Vor17000 {

namespace {

// The resources of the loaded module file: set by its load entry, dropped by its unload.
std::unique_ptr<const LanguageResources> loaded_resources;

std::string UserLanguage() {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            std::string language = value;
            language = language.substr(0, language.find(':'));
            return language;
        }
    }
    return "";
}

std::filesystem::path OwnFilePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LoadLanguageResources), &info) == 0 || info.dli_fname == nullptr) return {};
    std::error_code ec;
    auto path = std::filesystem::absolute(info.dli_fname, ec);
    return ec ? std::filesystem::path(info.dli_fname) : path;
}

void ApplyText(hostlib::TComponent& component, const std::string& property, const std::string& text) {
    if (auto* messages = dynamic_cast<hostlib::TMessages*>(&component)) {
        messages->Replace(property, text);
        return;
    }
    auto* control = dynamic_cast<hostlib::TControl*>(&component);
    if (control == nullptr) return;
    if (property == "Caption") {
        control->SetCaption(text);
    } else if (property == "Hint") {
        control->Hint = text;
    } else if (auto* button = dynamic_cast<hostlib::TBtnPesquisa*>(control)) {
        if (property == "Title") button->Title = text;
        if (property == "EmptyText") button->EmptyText = text;
    }
}

}  // namespace

std::vector<std::filesystem::path> LanguageResourceCandidates(const std::filesystem::path& module,
                                                              const std::string& language) {
    std::string code = language.substr(0, language.find_first_of(".@"));
    if (code.empty() || code == "C" || code == "POSIX") return {};
    std::vector<std::filesystem::path> candidates;
    // The whole path is kept, however long: no truncation to an old path limit.
    candidates.emplace_back(module.string() + "." + code);
    if (const auto underscore = code.find('_'); underscore != std::string::npos) {
        candidates.emplace_back(module.string() + "." + code.substr(0, underscore));
    }
    return candidates;
}

LanguageResources ReadLanguageResources(const std::filesystem::path& file) {
    LanguageResources resources{file, {}};
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        resources.texts.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    return resources;
}

void LoadLanguageResources() {
    loaded_resources.reset();
    const auto module = OwnFilePath();
    if (module.empty()) return;
    for (const auto& candidate : LanguageResourceCandidates(module, UserLanguage())) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) {
            loaded_resources = std::make_unique<const LanguageResources>(ReadLanguageResources(candidate));
            return;
        }
    }
}

void FreeLanguageResources() { loaded_resources.reset(); }

const LanguageResources* CurrentLanguageResources() { return loaded_resources.get(); }

void ApplyLanguageResources(hostlib::TComponent& owner) {
    const LanguageResources* resources = CurrentLanguageResources();
    if (resources == nullptr) return;
    for (const auto& [key, text] : resources->texts) {
        const auto dot = key.find('.');
        if (dot == std::string::npos) continue;
        const std::string name = key.substr(0, dot);
        const std::string property = key.substr(dot + 1);
        if (name == owner.Name()) {
            if (auto* form = dynamic_cast<hostlib::TForm*>(&owner); form != nullptr && property == "Caption") {
                form->SetCaption(text);
            }
            continue;
        }
        if (auto* component = owner.FindComponent(name)) ApplyText(*component, property, text);
    }
}

}  // namespace Pkg_Vor17000
