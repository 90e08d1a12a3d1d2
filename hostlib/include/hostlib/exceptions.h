#pragma once
// The error classes of the platform: handlers raise them, the event dispatcher sorts them.
#include <stdexcept>
#include <string>

namespace hostlib {

// Base of every error the host library raises; `what()` is the text shown to the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Ends the current event silently (raised by MensErro after showing its text).
class EAbort : public Exception {
public:
    EAbort() : Exception("Operação cancelada.") {}
};

// A variant that does not convert to the requested type.
class EVariantError : public Exception {
    using Exception::Exception;
};
class EVariantTypeCastError : public EVariantError {
    using EVariantError::EVariantError;
};
class EVariantNotAnArrayError : public EVariantError {
    using EVariantError::EVariantError;
};
class EVariantBadIndexError : public EVariantError {
    using EVariantError::EVariantError;
};
class EVariantOverflowError : public EVariantError {
    using EVariantError::EVariantError;
};

// A text that is not a date, a number or whatever it was expected to be.
class EConvertError : public Exception {
    using Exception::Exception;
};

}  // namespace hostlib
