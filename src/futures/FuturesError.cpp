#include "futures/FuturesError.h"

#include <utility>

#include "futures/ErrorException.h"

namespace tessellon {

Error makeError(FuturesError error, std::string message) {
  return Error{kFuturesErrorDomain, static_cast<int>(error), std::move(message)};
}

Error errorFromException(std::exception_ptr exception) {
  try {
    std::rethrow_exception(std::move(exception));
  } catch (const ErrorException& e) {
    return e.error();
  } catch (const std::exception& e) {
    return makeError(FuturesError::genericError, e.what());
  } catch (...) {
    return makeError(FuturesError::genericError, "unknown exception");
  }
}

bool testForCancellation(const Error& error) {
  if (error.domain == "NSURLErrorDomain") return error.code == -999 || error.code == -1012;
  if (error.domain == "NSCocoaErrorDomain") return error.code == 3072;
  return false;
}

}  // namespace tessellon
