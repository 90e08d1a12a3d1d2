// Two servers over one PostgreSQL database behind HAProxy, run with the settings of
// deploy/haproxy.cfg. 32 clients store and read back dates through it while one server is
// killed: no acknowledged store is lost, only requests in flight at the kill fail, HAProxy
// leaves the dead server out within 3 seconds and takes it back when it returns. A screen's
// request held by a server that dies fails once, is not replayed elsewhere, and the next works.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/datetime.h"
#include "hostlib/net/net_connection.h"
#include "support/backends.h"
#include "testkit/eventually.h"
#include "testkit/raw_http.h"
#include "testkit/server_process.h"

using namespace hostlib;
using testing_support::Backend;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::optional<fs::path> HaproxyBinary() {
    std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
    dirs += ":/usr/sbin:/usr/local/sbin";  // often left out of a user's PATH
    std::istringstream in(dirs);
    for (std::string dir; std::getline(in, dir, ':');) {
        if (!dir.empty() && ::access((fs::path(dir) / "haproxy").c_str(), X_OK) == 0) return fs::path(dir) / "haproxy";
    }
    return std::nullopt;
}

unsigned short FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// The shipped site configuration with loopback addresses: its defaults, frontend and backend
// as they are, the bind and server lines pointed at the test's ports, and a global section
// of the test's own (no daemon, chroot or user change; a stats socket to watch the servers).
std::string SiteConfig(unsigned short frontend, const std::vector<unsigned short>& servers, const fs::path& socket) {
    std::ifstream shipped(HAPROXY_SITE_CONFIG);
    std::string out = "global\n    stats socket " + socket.string() + " mode 600 level admin\n";
    std::string section;
    bool servers_written = false;
    for (std::string line; std::getline(shipped, line);) {
        if (!line.empty() && !std::isspace(static_cast<unsigned char>(line[0])) && line[0] != '#') {
            section = line.substr(0, line.find(' '));
        }
        if (section != "defaults" && section != "frontend" && section != "backend") continue;
        std::istringstream words(line);
        std::string keyword, name, address, options;
        words >> keyword;
        if (keyword == "bind") {
            out += "    bind 127.0.0.1:" + std::to_string(frontend) + "\n";
        } else if (keyword == "server") {
            words >> name >> address;
            std::getline(words, options);
            for (std::size_t i = 0; !servers_written && i < servers.size(); ++i) {
                out += "    server app" + std::to_string(i + 1) + " 127.0.0.1:" + std::to_string(servers[i]) + options +
                       "\n";
            }
            servers_written = true;
        } else {
            out += line + "\n";
        }
    }
    return out;
}

struct ServerState {
    std::string status;  // UP, DOWN, "UP 1/2" (going down), "DOWN 1/2" (coming up), ...
    int active = 0;      // requests it is handling now
};

// HAProxy in the foreground, as a child process.
class Haproxy {
public:
    Haproxy(const fs::path& binary, const std::vector<unsigned short>& servers)
        : folder_(fs::temp_directory_path() / ("vor17000_haproxy_" + std::to_string(::getpid()))), port_(FreePort()) {
        fs::create_directories(folder_);
        std::ofstream(folder_ / "haproxy.cfg") << SiteConfig(port_, servers, folder_ / "stats.sock");
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open((folder_ / "haproxy.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            const std::string config = (folder_ / "haproxy.cfg").string();
            ::execl(binary.c_str(), "haproxy", "-db", "-f", config.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Haproxy() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    unsigned short Port() const { return port_; }
    std::string Log() const {
        std::ifstream in(folder_ / "haproxy.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The servers of the backend by name, from "show stat" on the stats socket; empty while
    // HAProxy is not up yet.
    std::map<std::string, ServerState> Servers() const {
        std::map<std::string, ServerState> servers;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (folder_ / "stats.sock").c_str());
        std::string text;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::write(fd, "show stat\n", 10) == 10) {
            char buffer[4096];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                text.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
        std::istringstream lines(text);
        std::string header;
        std::getline(lines, header);
        std::map<std::string, std::size_t> column;
        std::istringstream names(header.rfind("# ", 0) == 0 ? header.substr(2) : header);
        std::size_t index = 0;
        for (std::string name; std::getline(names, name, ',');) column[name] = index++;
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream cells(line);
            for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
            if (fields.size() <= column["status"] || fields[column["svname"]].rfind("app", 0) != 0) continue;
            servers[fields[column["svname"]]] = {fields[column["status"]], std::atoi(fields[column["scur"]].c_str())};
        }
        return servers;
    }
    // Polls until `server` shows exactly `status` ("UP 1/2", going down, is not "UP"); the
    // time it took, or nothing.
    std::optional<Clock::duration> WaitFor(const std::string& server, const std::string& status,
                                           Clock::duration limit = 5s) const {
        const auto start = Clock::now();
        if (!testing_support::Eventually(std::chrono::duration_cast<std::chrono::milliseconds>(limit),
                                         [&] { return Servers()[server].status == status; }, 10ms))
            return std::nullopt;
        return Clock::now() - start;
    }

private:
    fs::path folder_;
    unsigned short port_;
    pid_t pid_ = -1;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Request {
    int client = 0;
    std::string key;
    bool location = false;
    std::string value;  // stores: "YYYY-MM-DD HH:MM:SS"; empty for a read
    Clock::time_point start;
    Clock::time_point end;
    bool ok = false;
    std::string error;
};

class LoadBalancer : public ::testing::Test {
protected:
    static constexpr int kClients = 32;
    static std::string OwnControl(int c) { return "CC" + std::to_string(c); }
    static std::string OwnSeries(int c) { return "C" + std::to_string(c); }

    LoadBalancer() : database(Backend::PostgreSQL) {
        database.LoadDemo();
        for (int c = 0; c < kClients; ++c) {
            database.Execute("INSERT INTO CTRLNUMENF VALUES ('" + OwnControl(c) + "', 'Cliente', NULL)");
            database.Execute("INSERT INTO SERIENF VALUES ('01', '110042490114', NULL, '" + OwnSeries(c) +
                             "', 'Cliente', '" + OwnControl(c) + "', 'S', 'N', 'N')");
        }
        database.Execute("INSERT INTO CTRLNUMENF VALUES ('TELA', 'Tela', NULL)");
    }
    std::optional<std::string> Stored(const std::string& key, bool location) {
        return location ? database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '" + key + "'")
                        : database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + key + "'");
    }

    testing_support::TestDatabase database;
};

TEST_F(LoadBalancer, AServerKilledUnderLoadLosesNoStoreAndIsLeftOutThenTakenBack) {
    const auto haproxy_binary = HaproxyBinary();
    if (!haproxy_binary) GTEST_SKIP() << "haproxy is not installed (scripts/setup.sh installs it)";
    // The screen's connection and its call in the background come first, so that they go
    // last: a call still held by a stopped server ends once the servers and HAProxy are gone.
    TNetConnection screen(nullptr, "netTela");
    std::future<void> held;
    // The first server gets a port below the ephemeral range (32768 and up): while it is down,
    // no client's own connection can be given that port and keep it from starting again.
    std::optional<testing_support::ServerProcess> first;
    unsigned short first_port = 0;
    for (unsigned short port = 26000; port < 26050 && !first; ++port) {
        try {
            first.emplace(database.Url(),
                          std::vector<std::string>{"--quiet", "--listen", "127.0.0.1:" + std::to_string(port)});
            first_port = port;
        } catch (const std::exception&) {
            // taken: the next one
        }
    }
    ASSERT_TRUE(first.has_value()) << "no free port from 26000 to 26049";
    testing_support::ServerProcess second(database.Url(), {"--quiet"});
    Haproxy haproxy(*haproxy_binary, {first_port, second.Port()});
    ASSERT_TRUE(haproxy.WaitFor("app1", "UP") && haproxy.WaitFor("app2", "UP")) << haproxy.Log();

    // 32 clients through HAProxy: stores on their own and on shared keys, each store on a
    // client's own control read back at once (it may be served by the other server).
    const std::vector<std::string> shared_controls = {"CTRL01", "CTRL02", "CTRL03"};
    const std::vector<std::string> shared_locations = {"0001", "0002", "0003"};
    std::mutex mutex;
    std::vector<Request> requests;
    std::atomic<bool> stop{false};
    const auto hard_stop = Clock::now() + 12s;
    std::vector<std::thread> clients;
    // The clients end however the test ends.
    struct Joiner {
        std::atomic<bool>& stop;
        std::vector<std::thread>& threads;
        ~Joiner() {
            stop = true;
            for (auto& t : threads) {
                if (t.joinable()) t.join();
            }
        }
    } joiner{stop, clients};
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            TNetConnection connection(nullptr, "netCliente");
            connection.ServerName = "VOR17000.rdmDataEmissao";
            connection.Port = haproxy.Port();
            std::mt19937 random(static_cast<unsigned>(c));
            std::vector<Request> mine;
            for (int sequence = 0; !stop && Clock::now() < hard_stop && sequence < 20000; ++sequence) {
                const int kind = static_cast<int>(random() % 5);  // 0-1 own control, 2-3 shared control, 4 location
                Request store;
                store.client = c;
                store.location = kind == 4;
                store.key = kind < 2   ? OwnControl(c)
                            : kind < 4 ? shared_controls[random() % shared_controls.size()]
                                       : shared_locations[random() % shared_locations.size()];
                // Every value stored anywhere is distinct: client and sequence in the minutes.
                const TDateTime date = EncodeDate(2031, 1, 1) + (c * 100000 + sequence) / 1440.0;
                store.value = DateTimeToIso(date, ' ').substr(0, 16) + ":00";
                store.start = Clock::now();
                try {
                    connection.AppServer().Call(store.location ? "UpDtLocal" : "UpdateCtrlNumNF", {date, store.key});
                    store.ok = true;
                } catch (const std::exception& e) {
                    store.error = e.what();
                }
                store.end = Clock::now();
                mine.push_back(store);
                if (!store.ok || kind >= 2) continue;
                Request read;
                read.client = c;
                read.key = store.key;
                read.start = Clock::now();
                try {
                    const auto rows =
                        connection.AppServer().Call("GetSerieNF", {"01", "110042490114", "", OwnSeries(c), ""})["rows"];
                    std::string seen = rows.size() == 1 ? rows[0][3].get<std::string>() : "(no row)";
                    if (seen.size() > 10) seen[10] = ' ';  // the answer's ISO "T"
                    read.ok = seen == store.value;
                    if (!read.ok) read.error = "read back " + seen + " after storing " + store.value;
                } catch (const std::exception& e) {
                    read.error = e.what();
                }
                read.end = Clock::now();
                mine.push_back(read);
            }
            std::lock_guard lock(mutex);
            requests.insert(requests.end(), mine.begin(), mine.end());
        });
    }

    // Partway, the first server dies at once; HAProxy must notice within 3 seconds.
    std::this_thread::sleep_for(1500ms);
    const auto killed_at = Clock::now();
    first->Stop(SIGKILL);
    // Reaped: its sockets are closed. HAProxy may still pick an idle connection to it whose
    // close it has not read yet, so requests get a moment more to stop reaching it.
    const auto gone_at = Clock::now() + 100ms;
    const auto down_after = haproxy.WaitFor("app1", "DOWN");
    // Started again on the same port (HAProxy knows it by its address), it must be taken back
    // and given requests.
    first.reset();
    first.emplace(database.Url(),
                  std::vector<std::string>{"--quiet", "--listen", "127.0.0.1:" + std::to_string(first_port)});
    const auto up_after = haproxy.WaitFor("app1", "UP");
    std::this_thread::sleep_for(1s);
    stop = true;
    for (auto& client : clients) client.join();

    ASSERT_TRUE(down_after.has_value()) << "the killed server is still " << haproxy.Servers()["app1"].status;
    EXPECT_LE(Seconds(*down_after), 3.0);
    ASSERT_TRUE(up_after.has_value()) << "the restarted server is still " << haproxy.Servers()["app1"].status;
    EXPECT_LE(Seconds(*up_after), 3.0);
    testing_support::RawHttpConnection direct(first->Port());
    const auto metrics = direct.Exchange("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").body;
    const auto stores_line = metrics.find("\nvor17000_stores_total ");
    ASSERT_NE(stores_line, std::string::npos) << metrics;
    const long restarted_stores = std::atol(metrics.c_str() + stores_line + 23);
    EXPECT_GT(restarted_stores, 0) << "the restarted server took no store";

    // Only requests that reached the server before it was gone may fail (in flight, or
    // accepted while it was being torn down); every request begun after that is served.
    std::size_t failed = 0, succeeded_after_kill = 0, acknowledged = 0;
    for (const auto& r : requests) {
        if (!r.ok) {
            ++failed;
            if (r.error.starts_with("read back")) ADD_FAILURE() << "client " << r.client << ": " << r.error;
            EXPECT_TRUE(r.start < gone_at) << "client " << r.client << ", begun " << Seconds(r.start - killed_at)
                                           << " s after the kill: " << r.error;
        } else if (r.start > gone_at) {
            ++succeeded_after_kill;
        }
        if (r.ok && !r.value.empty()) ++acknowledged;
    }
    EXPECT_GT(succeeded_after_kill, 100u);

    // No acknowledged store is lost: a key ends on the value of a store (acknowledged, or
    // failed in flight, which may have been committed) that no acknowledged store began after.
    std::map<std::pair<bool, std::string>, std::vector<const Request*>> by_key;
    for (const auto& r : requests) {
        if (!r.value.empty()) by_key[{r.location, r.key}].push_back(&r);
    }
    for (const auto& [where, stores] : by_key) {
        const auto stored = Stored(where.second, where.first);
        ASSERT_TRUE(stored.has_value()) << where.second;
        const Request* final_store = nullptr;
        for (const Request* s : stores) {
            if (s->value == *stored) final_store = s;
        }
        ASSERT_NE(final_store, nullptr) << where.second << " holds " << *stored << ", which no client stored";
        for (const Request* s : stores) {
            EXPECT_FALSE(s->ok && s->start > final_store->end)
                << where.second << ": " << s->value << " was acknowledged after " << *stored << " and is lost";
        }
    }
    // Nothing was applied twice (every value is distinct, so a replay shows as a second row).
    EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM (SELECT 1 FROM HISTDTEMISSAO GROUP BY NMTABELA, CDCHAVE, DTNOVA "
                                 "HAVING COUNT(*) > 1) AS replays"),
              "0");

    // The screen's connection, its request held by the second server (stopped, so that the
    // request is surely in flight) when that server dies: one failure, then the next call works.
    screen.ServerName = "VOR17000.rdmDataEmissao";
    screen.Port = haproxy.Port();
    screen.ReadTimeout = 10s;
    ASSERT_NO_THROW(screen.AppServer().Call("GetMaxData", {"TELA"}));
    ::kill(second.Pid(), SIGSTOP);
    std::string held_value;
    const auto give_up = Clock::now() + 5s;
    for (int attempt = 0; held_value.empty() && Clock::now() < give_up; ++attempt) {
        const TDateTime date = EncodeDate(2040, 1, 1) + attempt;
        held = std::async(std::launch::async, [&screen, date] {
            screen.AppServer().Call("UpdateCtrlNumNF", {date, "TELA"});
        });
        // Answered (by the first server), or handed to the stopped second one.
        while (held.wait_for(10ms) != std::future_status::ready && Clock::now() < give_up) {
            if (haproxy.Servers()["app2"].active > 0) {
                held_value = DateTimeToIso(date, ' ');
                break;
            }
        }
        if (held_value.empty()) {
            ASSERT_NO_THROW(held.get()) << "served by the first server";
        }
    }
    ASSERT_FALSE(held_value.empty()) << "no request of the screen went to the second server";
    second.Stop(SIGKILL);
    ASSERT_EQ(held.wait_for(5s), std::future_status::ready);
    int screen_failures = 0;
    try {
        held.get();
    } catch (const ENetConnectionError&) {
        ++screen_failures;
    } catch (const EAppServerError&) {
        ++screen_failures;
    }
    EXPECT_EQ(screen_failures, 1);
    const TDateTime next = EncodeDate(2041, 1, 1);
    EXPECT_NO_THROW(screen.AppServer().Call("UpdateCtrlNumNF", {next, "TELA"}));
    EXPECT_EQ(Stored("TELA", false), DateTimeToIso(next, ' '));
    EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM HISTDTEMISSAO WHERE CDCHAVE = 'TELA' AND DTNOVA = '" +
                                 held_value + "'"),
              "0")
        << "the failed request was replayed";

    std::cout << "marked DOWN " << Seconds(*down_after) << " s after the kill, UP " << Seconds(*up_after)
              << " s after the restart; " << acknowledged << " stores acknowledged, " << requests.size()
              << " requests, " << failed << " failed (reached the server before it was gone), " << succeeded_after_kill
              << " begun after it was gone and served, " << restarted_stores
              << " stores by the restarted server; the screen: " << screen_failures << " failure" << std::endl;
}

}  // namespace
