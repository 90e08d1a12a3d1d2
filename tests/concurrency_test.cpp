// 32 clients, each with a connection of its own, storing dates through two server
// processes over one database, on keys they share and keys of their own. No client sees a
// failure, and every key ends on a write that no other acknowledged write followed.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "core/datetime.h"
#include "hostlib/net/net_connection.h"
#include "support/backends.h"
#include "testkit/server_process.h"

using namespace hostlib;
using testing_support::Backend;
using Clock = std::chrono::steady_clock;

namespace {

struct Write {
    std::string key;
    std::string value;  // as stored: "YYYY-MM-DD HH:MM:SS"
    Clock::time_point start;
    Clock::time_point end;
};

class Concurrency : public ::testing::TestWithParam<Backend> {
protected:
    Concurrency() : database(GetParam()) {
        database.LoadDemo();
        for (int c = 0; c < kClients; ++c) {
            database.Execute("INSERT INTO CTRLNUMENF VALUES ('" + OwnControl(c) + "', 'Cliente', NULL)");
            database.Execute("INSERT INTO LOCALEMISSAO VALUES ('" + OwnLocation(c) + "', 'Cliente', NULL)");
        }
    }
    static constexpr int kClients = 32;
    static std::string OwnControl(int c) { return "CC" + std::to_string(c); }
    static std::string OwnLocation(int c) {
        char code[8];
        std::snprintf(code, sizeof code, "L%02d", c);
        return code;
    }
    std::optional<std::string> Stored(const std::string& key, bool location) {
        return location ? database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '" + key + "'")
                        : database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + key + "'");
    }

    testing_support::TestDatabase database;
};

TEST_P(Concurrency, NoFailureNoLostWriteAndEveryKeyEndsOnALastWrite) {
    testing_support::ServerProcess first(database.Url(), {"--quiet"});
    testing_support::ServerProcess second(database.Url(), {"--quiet"});
    const std::vector<std::string> shared_controls = {"CTRL01", "CTRL02", "CTRL03"};
    const std::vector<std::string> shared_locations = {"0001", "0002"};

    std::mutex mutex;
    std::vector<Write> control_writes;
    std::vector<Write> location_writes;
    std::vector<std::string> failures;
    const auto stop = Clock::now() + std::chrono::seconds(3);
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            TNetConnection connection(nullptr, "netCliente");
            connection.ServerName = "VOR17000.rdmDataEmissao";
            connection.Port = (c % 2 == 0 ? first : second).Port();
            std::mt19937 random(static_cast<unsigned>(c));
            for (int sequence = 0; Clock::now() < stop && sequence < 2000; ++sequence) {
                const bool location = random() % 2 == 0;
                const bool shared = random() % 2 == 0;
                const std::string key =
                    location ? (shared ? shared_locations[random() % shared_locations.size()] : OwnLocation(c))
                             : (shared ? shared_controls[random() % shared_controls.size()] : OwnControl(c));
                // Every value written anywhere is distinct: client and sequence in the minutes.
                const TDateTime date = EncodeDate(2031, 1, 1) + (c * 10000 + sequence) / 1440.0;
                Write write{key, DateTimeToIso(date, ' ').substr(0, 16) + ":00", Clock::now(), {}};
                try {
                    connection.AppServer().Call(location ? "UpDtLocal" : "UpdateCtrlNumNF", {date, key});
                } catch (const std::exception& e) {
                    std::lock_guard lock(mutex);
                    failures.push_back(e.what());
                    continue;
                }
                write.end = Clock::now();
                std::lock_guard lock(mutex);
                (location ? location_writes : control_writes).push_back(std::move(write));
            }
        });
    }
    for (auto& client : clients) client.join();
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures, the first: " << failures.front();

    // The final value of a key must be that of a write that no other write began after
    // the end of: the last acknowledged write, allowing for writes that overlapped it.
    std::size_t checked = 0;
    for (const bool location : {false, true}) {
        std::map<std::string, std::vector<const Write*>> by_key;
        for (const auto& w : location ? location_writes : control_writes) by_key[w.key].push_back(&w);
        for (const auto& [key, writes] : by_key) {
            const auto stored = Stored(key, location);
            ASSERT_TRUE(stored.has_value()) << key;
            const Write* final_write = nullptr;
            for (const Write* w : writes) {
                if (w->value == *stored) final_write = w;
            }
            ASSERT_NE(final_write, nullptr) << key << " holds " << *stored << ", which no client wrote";
            for (const Write* w : writes) {
                EXPECT_FALSE(w->start > final_write->end)
                    << key << ": " << w->value << " was acknowledged after " << *stored << " and is lost";
            }
            checked += writes.size();
        }
    }
    EXPECT_GT(checked, 100u);

    // Each acknowledged store has its one history row, and a key's rows chain: each says the
    // date it replaced was the one the row before it stored.
    std::size_t history_rows = 0;
    for (const bool location : {false, true}) {
        const std::string table = location ? "LOCALEMISSAO" : "CTRLNUMENF";
        std::map<std::string, std::map<std::string, int>> acknowledged;
        for (const auto& w : location ? location_writes : control_writes) acknowledged[w.key][w.value] = 0;
        std::map<std::string, std::optional<std::string>> previous;
        for (const auto& row :
             database.QueryRows("SELECT CDCHAVE, DTANTERIOR, DTNOVA FROM HISTDTEMISSAO WHERE NMTABELA = '" + table +
                                "' ORDER BY NRHISTORICO")) {
            ++history_rows;
            const std::string key = *row[0];
            if (previous.contains(key)) {
                EXPECT_EQ(row[1], previous[key]) << table << " " << key;
            }
            previous[key] = row[2];
            auto& values = acknowledged[key];
            ASSERT_TRUE(values.contains(*row[2])) << key << " has history for " << *row[2] << ", never acknowledged";
            ++values[*row[2]];
        }
        for (const auto& [key, values] : acknowledged) {
            for (const auto& [value, rows] : values) EXPECT_EQ(rows, 1) << table << " " << key << " " << value;
        }
    }
    EXPECT_EQ(history_rows, checked);
    std::cout << "writes checked: " << checked << " (" << control_writes.size() << " on controls, "
              << location_writes.size() << " on locations)" << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Backends, Concurrency, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
