// How the SQLite database is opened: its journal, syncing, keys and wait for a lock.
#include <gtest/gtest.h>

#include "support/backends.h"

namespace {

using testing_support::Backend;

TEST(SqliteDatabase, RunsInWalWithFullSyncForeignKeysAndABusyTimeout) {
    testing_support::TestDatabase database(Backend::SQLite);
    EXPECT_EQ(database.QueryText("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(database.QueryText("PRAGMA synchronous"), "2");
    EXPECT_EQ(database.QueryText("PRAGMA foreign_keys"), "1");
    EXPECT_EQ(database.QueryText("PRAGMA busy_timeout"), "10000");
}

}  // namespace
