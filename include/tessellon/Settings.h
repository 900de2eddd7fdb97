#pragma once

namespace tessellon {

// Which categories an operation processes.
struct Settings {
  bool contacts = false;
  bool calendars = false;
  bool videos = false;
  bool images = false;

  Settings() = default;
  Settings(bool withContacts, bool withCalendars, bool withVideos, bool withImages)
      : contacts(withContacts), calendars(withCalendars), videos(withVideos), images(withImages) {}
  virtual ~Settings() = default;
};

}  // namespace tessellon
