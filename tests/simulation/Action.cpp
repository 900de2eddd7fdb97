#include "simulation/Action.h"

namespace tessellon::simulation {

std::string Action::describe() const {
  switch (kind) {
    case Kind::write:
      return std::string(duringRun ? "  during the run: " : "") + "write " + path + " (" +
             std::to_string(size) + " bytes, content " + std::to_string(seed) + ", mtime " +
             std::to_string(mtimeMs) + ")";
    case Kind::remove:
      return "remove " + path;
    case Kind::touch:
      return "touch " + path + " (mtime " + std::to_string(mtimeMs) + ")";
    case Kind::patch:
      return "patch " + path + " at byte " + std::to_string(size) + " (mtime " +
             std::to_string(mtimeMs) + ")";
    case Kind::rename:
      return "rename " + path + " -> " + target;
    case Kind::copy:
      return "copy " + path + " -> " + target;
    case Kind::restart:
      return "restart the host";
    case Kind::note:
      return path;
    case Kind::backup: {
      std::string categories;
      for (const auto& [on, name] : {std::pair{settings.images, "images"},
                                     {settings.videos, "videos"},
                                     {settings.contacts, "contacts"},
                                     {settings.calendars, "calendars"}}) {
        if (on) categories += (categories.empty() ? "" : ",") + std::string(name);
      }
      return "backup " + categories + (settings.keepDeletedItems ? " keepDeleted" : "") + " zip " +
             std::to_string(settings.zipSize) + ": " + faults.describe();
    }
  }
  return "?";
}

}  // namespace tessellon::simulation
