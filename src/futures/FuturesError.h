#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "tessellon/Error.h"

#include "futures/ErrorDomain.h"

namespace tessellon {

inline constexpr const char* kFuturesErrorDomain = "FuturesError";

// Errors the futures library itself produces; only genericError occurs on the
// library's paths.
enum class FuturesError : int {
  genericError = 0,
  resultConversionError = 1,
  completionConversionError = 2,
  continueWithConversionError = 3,
  errorForMultipleErrors = 4,
  exceptionCaught = 5,
};

constexpr std::string_view errorDomain(FuturesError /*code*/) { return kFuturesErrorDomain; }

Error makeError(FuturesError error, std::string message);

// The Error a continuation block's exception fails its future with: an
// ErrorException's own error, otherwise genericError carrying what().
Error errorFromException(std::exception_ptr exception);

// True for errors that mean "the user or the host cancelled": the URL-loading
// domain's -999 and -1012 and the Cocoa domain's 3072. The library's own error
// enumerations never count.
bool testForCancellation(const Error& error);

}  // namespace tessellon
