#include "hostlib/package.h"

#include <dlfcn.h>

#include <exception>
#include <system_error>
#include <utility>

namespace hostlib {

void InitializePackageUnits(const PackageInfoTable& table) {
    int started = 0;
    try {
        for (; started < table.UnitCount; ++started) {
            if (table.Units[started].Init != nullptr) table.Units[started].Init();
        }
    } catch (...) {
        while (started-- > 0) {
            if (table.Units[started].FInit != nullptr) table.Units[started].FInit();
        }
        throw;
    }
}

void FinalizePackageUnits(const PackageInfoTable& table) {
    for (int i = table.UnitCount; i-- > 0;) {
        if (table.Units[i].FInit != nullptr) table.Units[i].FInit();
    }
}

const char* PackageFailureName(PackageFailure reason) {
    switch (reason) {
        case PackageFailure::FileNotFound:
            return "FileNotFound";
        case PackageFailure::NotLoadable:
            return "NotLoadable";
        case PackageFailure::MissingExport:
            return "MissingExport";
        case PackageFailure::InitializationFailed:
            return "InitializationFailed";
    }
    return "Unknown";
}

TPackage::TPackage(std::filesystem::path path, void* handle, const PackageInfoTable* table, void (*finalize)())
    : path_(std::move(path)), handle_(handle), table_(table), finalize_(finalize) {}

TPackage::TPackage(TPackage&& other) noexcept
    : path_(std::move(other.path_)),
      handle_(std::exchange(other.handle_, nullptr)),
      table_(std::exchange(other.table_, nullptr)),
      finalize_(std::exchange(other.finalize_, nullptr)) {}

TPackage& TPackage::operator=(TPackage&& other) noexcept {
    if (this != &other) {
        Unload();
        path_ = std::move(other.path_);
        handle_ = std::exchange(other.handle_, nullptr);
        table_ = std::exchange(other.table_, nullptr);
        finalize_ = std::exchange(other.finalize_, nullptr);
    }
    return *this;
}

TPackage::~TPackage() { Unload(); }

void TPackage::Unload() noexcept {
    if (handle_ == nullptr) return;
    try {
        if (finalize_ != nullptr) finalize_();
    } catch (...) {
        // A unit stop that fails must not keep the file loaded nor escape a destructor.
    }
    dlclose(handle_);
    handle_ = nullptr;
}

void* TPackage::Symbol(const char* name) const { return handle_ == nullptr ? nullptr : dlsym(handle_, name); }

PackageLoadResult LoadPackage(const std::filesystem::path& path) {
    const std::string file = path.string();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return PackageError{PackageFailure::FileNotFound, "Módulo '" + file + "' não encontrado."};
    }
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        return PackageError{PackageFailure::NotLoadable, "Módulo '" + file + "' não pôde ser carregado: " +
                                                             (why != nullptr ? why : "motivo desconhecido")};
    }
    auto missing = [&](const char* name) {
        dlclose(handle);
        return PackageError{PackageFailure::MissingExport,
                            "Módulo '" + file + "' não exporta '" + name + "': não é um pacote."};
    };
    auto initialize = reinterpret_cast<void (*)()>(dlsym(handle, "Initialize"));
    if (initialize == nullptr) return missing("Initialize");
    auto finalize = reinterpret_cast<void (*)()>(dlsym(handle, "Finalize"));
    if (finalize == nullptr) return missing("Finalize");
    auto info = reinterpret_cast<const PackageInfoTable* (*)()>(dlsym(handle, "GetPackageInfoTable"));
    if (info == nullptr) return missing("GetPackageInfoTable");
    try {
        initialize();
    } catch (const std::exception& e) {
        dlclose(handle);
        return PackageError{PackageFailure::InitializationFailed,
                            "Módulo '" + file + "' falhou ao iniciar: " + e.what()};
    } catch (...) {
        dlclose(handle);
        return PackageError{PackageFailure::InitializationFailed, "Módulo '" + file + "' falhou ao iniciar."};
    }
    return TPackage(path, handle, info(), finalize);
}

}  // namespace hostlib
