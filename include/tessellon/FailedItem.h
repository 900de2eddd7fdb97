#pragma once

#include <string>

namespace tessellon {

// An item a backup or restore counted as failed, named so a host can say which and why.
struct FailedItem {
  // An image or video by its path relative to its media folder, as the record names it (one
  // entry per path of an item found at several). A whole document (contacts, calendars), or an
  // item with no such path, by its file on the remote.
  std::string path;
  // What went wrong, in the words of the error that ended it.
  std::string reason;

  friend bool operator==(const FailedItem&, const FailedItem&) = default;
};

}  // namespace tessellon
