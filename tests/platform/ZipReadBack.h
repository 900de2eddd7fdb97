#pragma once

#include <locale.h>
#include <stdio.h>
#include <sys/wait.h>
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <archive.h>
#include <archive_entry.h>

// Reading our archives back with independent readers: libarchive's seekable
// ZIP reader (it trusts the central directory) and Info-ZIP's unzip/zipinfo.
namespace tessellon::ziptest {

struct Entry {
  std::string name;
  int64_t size = 0;
  std::string content;  // empty unless asked for
};

// Every entry in central-directory order, or nothing when libarchive refuses
// the archive (then `problem` says why).
inline std::optional<std::vector<Entry>> readEntries(const std::string& path, bool withContent,
                                                     std::string* problem = nullptr) {
  // Names are UTF-8; under the C locale libarchive would fail to convert them.
  const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  const locale_t previous = utf8 != nullptr ? ::uselocale(utf8) : nullptr;
  archive* reader = archive_read_new();
  archive_read_support_format_zip_seekable(reader);
  std::vector<Entry> entries;
  bool ok = archive_read_open_filename(reader, path.c_str(), 1 << 16) == ARCHIVE_OK;
  archive_entry* header = nullptr;
  while (ok) {
    const int next = archive_read_next_header(reader, &header);
    if (next == ARCHIVE_EOF) break;
    // A warning only says the UTF-8 name does not fit the C locale.
    if (next != ARCHIVE_OK && next != ARCHIVE_WARN) {
      ok = false;
      break;
    }
    Entry entry{archive_entry_pathname_utf8(header) ? archive_entry_pathname_utf8(header) : "",
                archive_entry_size(header),
                {}};
    if (withContent) {
      char buffer[1 << 16];
      la_ssize_t got;
      while ((got = archive_read_data(reader, buffer, sizeof buffer)) > 0) {
        entry.content.append(buffer, static_cast<size_t>(got));
      }
      ok = got == 0;
    } else {
      ok = archive_read_data_skip(reader) == ARCHIVE_OK;
    }
    entries.push_back(std::move(entry));
  }
  if (!ok && problem != nullptr) {
    const char* text = archive_error_string(reader);
    *problem = text != nullptr ? text : "unknown libarchive error";
  }
  archive_read_free(reader);
  if (utf8 != nullptr) {
    ::uselocale(previous);
    ::freelocale(utf8);
  }
  if (!ok) return std::nullopt;
  return entries;
}

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

inline CommandResult run(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// `unzip -t` over the archive: every entry's CRC and the directory records.
inline CommandResult unzipTest(const std::string& path) {
  return run("unzip -tqq " + quoted(path));
}

// Entry name -> compression method as zipinfo names it ("stor", "defN", ...).
inline std::map<std::string, std::string> methods(const std::string& path) {
  std::map<std::string, std::string> byName;
  std::istringstream lines(run("zipinfo " + quoted(path)).output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> parts;
    for (std::string part; fields >> part;) parts.push_back(part);
    // "-rw-r--r--  3.0 unx  5 tx stor 24-Jan-01 00:00 name"
    if (parts.size() == 9 && parts[0].size() == 10) byName[parts[8]] = parts[5];
  }
  return byName;
}

}  // namespace tessellon::ziptest
