// The package unit: the unit table, the loader's entries, and the file's load entry.
#include "Pkg_Vor17000.h"

#include "Cli_Vor17000.h"
#include "language_resources.h"

namespace Pkg_Vor17000 {

namespace {
const PackageUnitEntry kUnits[] = {
    {"Pkg_Vor17000", nullptr, nullptr},
    {"Cli_Vor17000", &Cli_Vor17000::initialization, &Cli_Vor17000::Finalization},
};
const PackageInfoTable kInfoTable = {static_cast<int>(std::size(kUnits)), kUnits};

// The module file's load and unload entry: the language resources live as long as the file.
__attribute__((constructor)) void ModuleLoaded() { LoadLanguageResources(); }
__attribute__((destructor)) void ModuleUnloaded() { FreeLanguageResources(); }
}  // namespace

const PackageInfoTable* GetPackageInfoTable() { return &kInfoTable; }
void PackageLoad() { hostlib::InitializePackageUnits(kInfoTable); }
void PackageUnload() { hostlib::FinalizePackageUnits(kInfoTable); }

}  // namespace Pkg_Vor17000

extern "C" {
void Initialize() { Pkg_Vor17000::PackageLoad(); }
void Finalize() { Pkg_Vor17000::PackageUnload(); }
const PackageInfoTable* GetPackageInfoTable() { return Pkg_Vor17000::GetPackageInfoTable(); }
}
