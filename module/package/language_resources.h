#pragma once
// The module's language resources: a file beside the module named after its full path with
// the user's language as suffix ("Pkg_Vor17000.so.en"). When one exists, its texts replace
// the screen's own captions and messages.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "hostlib/component.h"

namespace Pkg_Vor17000 {

struct LanguageResources {
    std::filesystem::path file;
    // "component.Property" (or "msgPadrao.Key") and the text.
    std::vector<std::pair<std::string, std::string>> texts;
};

// The file to look for, given the module's path and the user's language; empty when the
// language is none (C, POSIX or unset).
std::vector<std::filesystem::path> LanguageResourceCandidates(const std::filesystem::path& module,
                                                              const std::string& language);
// Reads "name.Property=text" lines; blank lines and lines starting with "#" are skipped.
LanguageResources ReadLanguageResources(const std::filesystem::path& file);

void LoadLanguageResources();
void FreeLanguageResources();
// The resources in use, or null when the module's own texts stand.
const LanguageResources* CurrentLanguageResources();

// Replaces captions, hints, lookup titles and empty-list texts and messages of `owner`'s
// components by the resources' texts.
void ApplyLanguageResources(hostlib::TComponent& owner);

}  // namespace Pkg_Vor17000
