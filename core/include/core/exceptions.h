#pragma once
// The error classes of the platform: handlers raise them, the event dispatcher sorts them.
#include <stdexcept>
#include <string>

namespace hostlib {

// Base of every error the host library raises; `what()` is the text shown to the user, a
// sentence in Portuguese. `Details()` holds what a driver or the system said, for the
// details of a message box and for logs; it may be empty.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message, std::string details = {})
        : std::runtime_error(message), details_(std::move(details)) {}
    const std::string& Details() const { return details_; }
    // The text and, when there are any, the details: what a log or an operator reads.
    std::string FullText() const { return details_.empty() ? what() : std::string(what()) + " (" + details_ + ")"; }

private:
    std::string details_;
};

// What a log or an operator reads of any error: a host library error's text and details.
inline std::string FullTextOf(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    return own != nullptr ? own->FullText() : std::string(error.what());
}

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
