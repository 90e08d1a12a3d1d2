#pragma once
// The databases a suite runs on, for INSTANTIATE_TEST_SUITE_P.
#include <gtest/gtest.h>

#include <string>

#include "testkit/test_database.h"

namespace testing_support {

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}
// Data access, the server, durability, concurrency and the screen's own queries (company,
// registrations, lookup lists) run on both.
inline auto AllBackends() { return ::testing::Values(Backend::SQLite, Backend::PostgreSQL); }
// The rest of the screen's behaviour goes through the server only: those suites run on SQLite.
inline auto ScreenBackends() { return ::testing::Values(Backend::SQLite); }

}  // namespace testing_support
