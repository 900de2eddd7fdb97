#include "simulation/FaultPlan.h"

namespace tessellon::simulation {

std::string FaultPlan::describe() const {
  const std::string n = std::to_string(nth);
  std::string text;
  switch (fault) {
    case Fault::none:
      text = "no fault";
      break;
    case Fault::failRequest:
      text = operation + " #" + n + " fails";
      break;
    case Fault::remoteFull:
      text = "remote full from upload #" + n;
      break;
    case Fault::cancel:
      text = "cancel at request #" + n;
      if (lateMs > 0) text += ", which lands " + std::to_string(lateMs) + " ms later";
      break;
    case Fault::abandon:
      text = "host silent from request #" + n + ", run abandoned";
      break;
    case Fault::concurrentRun:
      text = "second run of this device at the first upload";
      break;
    case Fault::listingBeside:
      text = "listing at the first download";
      break;
    case Fault::documentUnavailable:
      text = "every download of " + operation + " fails";
      break;
    case Fault::documentDamaged:
      text = "every download of " + operation +
             (nth % 2 == 1 ? " gives damaged bytes" : " says it does not exist");
      break;
    case Fault::listingOmits:
      text = std::string("every listing of a media folder leaves out ") +
             (unreadable()   ? "every file, and no file can be read"
              : nth % 2 == 1 ? "its second half, and no file can be streamed"
                             : "every file");
      break;
    case Fault::sizelessListing:
      text = "every listing gives each file size 0";
      break;
    case Fault::hostCancels:
      text = "the host reports request #" + n + " cancelled";
      break;
  }
  if (answersTwice) text += ", every answer twice";
  if (change != Change::none) {
    text += std::string(", a file ") +
            (change == Change::shrink ? "shrinks"
             : change == Change::grow ? "grows"
                                      : "is rewritten at its size") +
            " at media upload #" + std::to_string(changeAt);
  }
  return text;
}

}  // namespace tessellon::simulation
