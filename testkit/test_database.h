#pragma once
// Databases for tests: a fresh SQLite file, or a fresh schema in this test program's own
// database on the throwaway PostgreSQL cluster. The same tests run on both.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostlib/db/data_module.h"
#include "testkit/server_process.h"

namespace testing_support {

enum class Backend { SQLite, PostgreSQL };

// The cluster's URL: $VOR17000_TEST_PG, else what the cluster fixture wrote down.
std::string PostgresServerUrl();

// How the database keeps text. A PostgreSQL database in SQL_ASCII takes any bytes, as
// databases converted from older systems do; SQLite always does.
enum class TextEncoding { Utf8, AnyBytes };

class TestDatabase {
public:
    // An empty schema.
    explicit TestDatabase(Backend backend, TextEncoding encoding = TextEncoding::Utf8);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    Backend Kind() const { return backend_; }
    const std::string& Url() const { return url_; }
    // A session of the test's own, apart from the code under test.
    hostlib::TdtmDBGeral& Module() { return *module_; }
    // Lets go of that session (its files are no longer held open by the test), and opens it anew.
    void Disconnect() { module_->Close(); }
    void Reconnect() { module_->Open(url_); }
    void Execute(const std::string& sql);
    void LoadDemo();
    // The first column of the first row as text; nothing for no row or null.
    std::optional<std::string> QueryText(const std::string& sql);
    // Every row, every column as text (nothing for null).
    std::vector<std::vector<std::optional<std::string>>> QueryRows(const std::string& sql);

    // An SQL literal of text made of these bytes as they are (Windows-1252, say), as an older
    // system wrote it; the database must keep any bytes (TextEncoding::AnyBytes on PostgreSQL).
    std::string TextOfBytes(const std::string& bytes) const;
    // Drops every table of the schema: the database is as a new one.
    void DropTables();

    // What differs between the two databases, so that a test says what it wants done.

    // Begins a transaction in `other` that holds the write lock on the control's row (on
    // SQLite, the whole database's) until `other` commits.
    void HoldRowLock(soci::session& other, const std::string& control) const;
    // Takes the right to write away from servers started after, or gives it back to every
    // server. On SQLite the database becomes a read-only copy of the file in a folder of its
    // own (Url() names it from then on), which binds only a server that runs unprivileged.
    void SetReadOnly(bool read_only);
    // How to start a server on which the rights SetReadOnly takes bind.
    ProcessSettings RightsBindingServer() const;
    // Every history row for the control `code` is refused by the database, as a trigger would.
    void RefuseHistoryFor(const std::string& code);
    // The next history row gets the number `next` (on SQLite, after a row of its own, one less).
    void SetNextHistoryNumber(long long next);

private:
    Backend backend_;
    std::string url_;
    std::filesystem::path file_;
    std::filesystem::path read_only_folder_;  // SQLite's read-only copy, once made
    std::unique_ptr<hostlib::TdtmDBGeral> module_;
};

}  // namespace testing_support
