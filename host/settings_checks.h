#pragma once
// The checks of the host's settings, shared by the settings dialog (at each field) and the
// start (a saved value that fails one is replaced by its default). Each gives what is wrong,
// as a sentence for the field, or nothing when the value is good; empty means the default.
#include <optional>
#include <string>
#include <string_view>

namespace host {

// "embedded" or HOST:PORT.
std::optional<std::string> CheckServer(std::string_view text);
// sqlite:FILE (the file must exist) or postgresql://...
std::optional<std::string> CheckDatabaseUrl(std::string_view text);
// dd/mm/yyyy, a date that exists.
std::optional<std::string> CheckProcessingDate(std::string_view text);
// A file this computer's secret can be read from: one line.
std::optional<std::string> CheckTokenFile(std::string_view path);
// A file of certificates that can be read.
std::optional<std::string> CheckTlsCaFile(std::string_view path);

// The one secret of a desk's token file; raises std::runtime_error saying why not.
std::string ReadHostToken(const std::string& path);

}  // namespace host
