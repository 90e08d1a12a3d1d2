#pragma once
// The databases a suite runs on, for INSTANTIATE_TEST_SUITE_P.
#include <gtest/gtest.h>

#include <string>

#include "testkit/test_database.h"

namespace testing_support {

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}
// Data access, the server, durability and concurrency run on both.
inline auto AllBackends() { return ::testing::Values(Backend::SQLite, Backend::PostgreSQL); }
// The screen's behaviour does not depend on the database under the server: its suites run on
// SQLite only.
inline auto ScreenBackends() { return ::testing::Values(Backend::SQLite); }

}  // namespace testing_support
