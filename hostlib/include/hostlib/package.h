#pragma once
// Runtime packages: the unit table a module exports, and the loader that starts and
// stops its units around loading and unloading the file.
#include <filesystem>
#include <string>
#include <variant>

extern "C" {
// One unit of a package with its start-up and stop.
struct PackageUnitEntry {
    const char* Name;
    void (*Init)();
    void (*FInit)();
};
struct PackageInfoTable {
    int UnitCount;
    const PackageUnitEntry* Units;
};
}

namespace hostlib {

// Starts the units in table order; when one fails, the ones already started are stopped
// in reverse order and the error continues.
void InitializePackageUnits(const PackageInfoTable& table);
// Stops the units in reverse table order.
void FinalizePackageUnits(const PackageInfoTable& table);

enum class PackageFailure { FileNotFound, NotLoadable, MissingExport, InitializationFailed };
const char* PackageFailureName(PackageFailure reason);

struct PackageError {
    PackageFailure reason;
    std::string message;  // names the file and says why
};

// A loaded, initialised module; unloading runs Finalize and then closes the file.
class TPackage {
public:
    TPackage(TPackage&& other) noexcept;
    TPackage& operator=(TPackage&& other) noexcept;
    TPackage(const TPackage&) = delete;
    TPackage& operator=(const TPackage&) = delete;
    ~TPackage();

    const std::filesystem::path& Path() const { return path_; }
    // An exported symbol, or null.
    void* Symbol(const char* name) const;
    template <class Function>
    Function* Entry(const char* name) const {
        return reinterpret_cast<Function*>(Symbol(name));
    }
    const PackageInfoTable& InfoTable() const { return *table_; }

private:
    friend std::variant<TPackage, PackageError> LoadPackage(const std::filesystem::path& path);
    TPackage(std::filesystem::path path, void* handle, const PackageInfoTable* table, void (*finalize)());
    void Unload() noexcept;

    std::filesystem::path path_;
    void* handle_ = nullptr;
    const PackageInfoTable* table_ = nullptr;
    void (*finalize_)() = nullptr;
};

using PackageLoadResult = std::variant<TPackage, PackageError>;
PackageLoadResult LoadPackage(const std::filesystem::path& path);

}  // namespace hostlib
