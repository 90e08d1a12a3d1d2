// The package loader on the real module file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "hostlib/package.h"
#include "hostlib/variant.h"

using namespace hostlib;

namespace {

TPackage Load(const std::filesystem::path& path) {
    auto result = LoadPackage(path);
    if (auto* error = std::get_if<PackageError>(&result)) {
        ADD_FAILURE() << error->message;
        throw std::runtime_error(error->message);
    }
    return std::move(std::get<TPackage>(result));
}

PackageError Failure(const std::filesystem::path& path) {
    auto result = LoadPackage(path);
    EXPECT_TRUE(std::holds_alternative<PackageError>(result)) << path << " loaded";
    return std::holds_alternative<PackageError>(result) ? std::get<PackageError>(result) : PackageError{};
}

TEST(PackageLoader, ModuleExportsItsEntriesUnderPlainNames) {
    TPackage package = Load(MODULE_FILE);
    for (const char* name : {"IniProc", "Initialize", "Finalize", "GetPackageInfoTable"}) {
        EXPECT_NE(package.Symbol(name), nullptr) << name;
    }
    // The screen unit's symbols are there too, qualified by the unit.
    EXPECT_NE(package.Symbol("_ZN12Cli_Vor1700015CriaDataEmissaoEbPN7hostlib5TFormE"), nullptr);
    EXPECT_NE(package.Symbol("_ZN12Cli_Vor1700014frmDataEmissaoE"), nullptr);
    EXPECT_NE(package.Symbol("_ZN12Pkg_Vor1700011PackageLoadEv"), nullptr);
    EXPECT_EQ(package.InfoTable().UnitCount, 2);
}

TEST(PackageLoader, LoadRunsTheStartUpsAndUnloadTheStops) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        {
            TPackage package = Load(MODULE_FILE);
            auto* prim_vez = static_cast<bool*>(package.Symbol("_ZN12Cli_Vor170009boPrimVezE"));
            ASSERT_NE(prim_vez, nullptr);
            EXPECT_TRUE(*prim_vez);
        }
        // Unloaded: the file is no longer mapped.
        EXPECT_EQ(dlopen(MODULE_FILE, RTLD_NOW | RTLD_NOLOAD), nullptr);
    }
}

TEST(PackageLoader, MovedPackageUnloadsOnce) {
    TPackage first = Load(MODULE_FILE);
    TPackage second = std::move(first);
    EXPECT_EQ(first.Symbol("IniProc"), nullptr);
    EXPECT_NE(second.Symbol("IniProc"), nullptr);
}

TEST(PackageLoader, FailuresSayWhichFileAndWhy) {
    const auto missing = Failure("/nonexistent/Pkg_Missing.so");
    EXPECT_EQ(missing.reason, PackageFailure::FileNotFound);
    EXPECT_NE(missing.message.find("/nonexistent/Pkg_Missing.so"), std::string::npos);

    const auto text_file = std::filesystem::temp_directory_path() / "vor17000_not_a_module.so";
    std::ofstream(text_file) << "not a shared object";
    const auto not_loadable = Failure(text_file);
    EXPECT_EQ(not_loadable.reason, PackageFailure::NotLoadable);
    EXPECT_NE(not_loadable.message.find(text_file.string()), std::string::npos);
    std::filesystem::remove(text_file);

    // A real shared library that is no package.
    const auto library = Failure(HOSTLIB_FILE);
    EXPECT_EQ(library.reason, PackageFailure::MissingExport);
    EXPECT_NE(library.message.find("Initialize"), std::string::npos);
}

}  // namespace
