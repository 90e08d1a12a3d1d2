// The units of a package: started in order, and a failing start-up stops those already started.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "hostlib/package.h"

using namespace hostlib;

namespace {

TEST(PackageUnits, AFailingStartUpStopsTheUnitsAlreadyStarted) {
    static std::vector<std::string> log;
    log.clear();
    static const PackageUnitEntry units[] = {
        {"A", [] { log.push_back("init A"); }, [] { log.push_back("fin A"); }},
        {"B", [] { log.push_back("init B"); }, [] { log.push_back("fin B"); }},
        {"C", [] { throw std::runtime_error("C failed"); }, [] { log.push_back("fin C"); }},
    };
    const PackageInfoTable table{3, units};
    EXPECT_THROW(InitializePackageUnits(table), std::runtime_error);
    EXPECT_EQ(log, (std::vector<std::string>{"init A", "init B", "fin B", "fin A"}));
    log.clear();
    FinalizePackageUnits(PackageInfoTable{2, units});
    EXPECT_EQ(log, (std::vector<std::string>{"fin B", "fin A"}));
}

}  // namespace
