// The module's unit start-up and stop, counted as the package runs them.
#include <gtest/gtest.h>

#include "Cli_Vor17000.h"
#include "Pkg_Vor17000.h"

namespace cli = Cli_Vor17000;

namespace {

TEST(ModuleUnits, StartUpRunsItsBodyOnlyFromZeroAndStopOnlyCounts) {
    cli::boPrimVez = false;
    Initialize();
    EXPECT_TRUE(cli::boPrimVez);
    cli::boPrimVez = false;
    Initialize();  // the count is already below zero
    EXPECT_FALSE(cli::boPrimVez);
    Finalize();
    Finalize();
    EXPECT_FALSE(cli::boPrimVez);  // a stop touches no variable
    Initialize();
    EXPECT_TRUE(cli::boPrimVez);
    Finalize();
}

}  // namespace
