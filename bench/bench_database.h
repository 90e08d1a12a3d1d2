#pragma once
// Databases for the benchmark: the demo data and the rows the measured paths need, on a
// fresh SQLite file or a fresh PostgreSQL database.
#include <string>

namespace bench {

struct BenchDatabase {
    std::string name;  // "SQLite" or "PostgreSQL"
    std::string url;
};

// A fresh database with the schema, the demo data and the benchmark's series "B"
// (control CTRLB, last issue 01/01/2025, an invoice on 31/12/2024).
BenchDatabase FreshSqlite(const std::string& folder, const std::string& file);
BenchDatabase FreshPostgres(const std::string& server_url, const std::string& database);

}  // namespace bench
