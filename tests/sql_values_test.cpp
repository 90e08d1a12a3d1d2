// Values as SQL text: dates, and the named parameters of a statement.
#include <gtest/gtest.h>

#include "core/datetime.h"
#include "core/db/sql_value.h"
#include "hostlib/db/query.h"

using namespace hostlib;

namespace {

TEST(SqlValues, DatesAreWrittenWithABlankAndNoFraction) {
    EXPECT_EQ(ToSqlDateTime(EncodeDate(2024, 1, 2) + EncodeTime(3, 4, 5, 600)), "2024-01-02 03:04:05");
    EXPECT_EQ(PlaceholderNames("SELECT ':X', a::text FROM t WHERE b = :P_A OR :P_B = 'T' OR :P_A IS NULL"),
              (std::vector<std::string>{"P_A", "P_B"}));
}

}  // namespace
