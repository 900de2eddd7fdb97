#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/contacts/VCard.h"

namespace tessellon {

// New cards waiting to be written by ContactRepositoryProtocol::execute, all
// together. Not thread-safe: one restore fills it at a time.
struct ContactSaveRequest {
  struct Addition {
    VCard card;
    // The address book's identifier (its folder name); nothing for the
    // default address book.
    std::optional<std::string> containerIdentifier;
  };

  std::vector<Addition> additions;

  void addContact(VCard card, std::optional<std::string> toContainerWithIdentifier = std::nullopt) {
    additions.push_back({std::move(card), std::move(toContainerWithIdentifier)});
  }
};

}  // namespace tessellon
