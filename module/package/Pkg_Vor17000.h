#pragma once
// The package unit: the loader's entries under plain names, and the unit's own.
#include "hostlib/package.h"

extern "C" {
void Initialize();
void Finalize();
const PackageInfoTable* GetPackageInfoTable();
}

namespace Pkg_Vor17000 {

const PackageInfoTable* GetPackageInfoTable();
void PackageLoad();
void PackageUnload();

}  // namespace Pkg_Vor17000
