#pragma once
// The host application's command line.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace host {

enum class HostMode { Desktop, Headless };

struct HostOptions {
    HostMode mode = HostMode::Desktop;
    std::string database_url;           // empty: the demo database in the user's data folder
    std::string server = "embedded";    // "embedded" or HOST:PORT
    std::filesystem::path module_path;  // empty: beside the executable
    std::filesystem::path screenshot;   // set: save one screenshot there and end
    std::string screenshot_view = "tela";  // what the screenshot shows: one of ScreenshotViews()
    std::string token;                  // the server's shared secret (--token-file, $VOR17000_TOKEN)
    std::string tls_ca_file;            // CA file: talk TLS to the server and check it

    // What the command line (or the environment, for the token) said: for that run it wins
    // over the desktop's saved settings.
    struct Given {
        bool database = false;
        bool server = false;
        bool token = false;
        bool tls_ca = false;
    } given;
};

struct ParsedOptions {
    std::optional<HostOptions> options;
    std::string error;  // set when the line could not be understood
    bool help = false;
};

ParsedOptions ParseHostOptions(const std::vector<std::string>& arguments);
std::string HostUsage();

// What --screenshot can show, with a line saying what each is ("tela" first, the default).
struct ScreenshotView {
    std::string name;
    std::string description;
};
const std::vector<ScreenshotView>& ScreenshotViews();

// The module file: the option, else $VOR17000_MODULE, else beside the executable.
std::filesystem::path ResolveModulePath(const HostOptions& options);

}  // namespace host
