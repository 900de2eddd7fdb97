#include "remote/HostAnswerCheck.h"

#include <algorithm>
#include <string_view>

namespace tessellon {
namespace {

// The path's components, "." and empty ones left out; nothing when one is "..".
std::optional<std::vector<std::string_view>> components(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

bool startsWith(const std::vector<std::string_view>& path,
                const std::vector<std::string_view>& folder) {
  return folder.size() <= path.size() && std::equal(folder.begin(), folder.end(), path.begin());
}

bool plainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

std::optional<std::string> HostAnswerCheck::refusedDownload(
    FileIOServiceProtocol& files, const std::string& path, const std::string& temporaryFolder,
    const std::vector<std::string>& userFolders, const std::vector<std::string>& hostFolders) {
  if (path.empty() || path.front() != '/') return "is not an absolute path";
  const auto parts = components(path);
  const bool dotted = std::string_view(path).find("/./") != std::string_view::npos ||
                      std::string_view(path).ends_with("/.");
  if (!parts || dotted || parts->empty()) return "has a \".\" or \"..\" component";
  const auto inside = [&](const std::string& folder) {
    const auto own = components(folder);
    return !folder.empty() && own && !own->empty() && startsWith(*parts, *own);
  };
  if (!inside(temporaryFolder)) {
    for (const std::string& folder : userFolders) {
      if (inside(folder)) return "lies in " + folder + ", a folder of the user's";
    }
    if (!hostFolders.empty() && std::none_of(hostFolders.begin(), hostFolders.end(), inside)) {
      return "lies outside the temporary folders";
    }
  }
  // The item itself, not what a link points at.
  const Result<FileAttributes> attributes = files.attributesOfItem(path);
  if (!attributes.ok()) return "cannot be read: " + attributes.error().message;
  switch (attributes.value().type) {
    case FileAttributes::Type::regular:
      return std::nullopt;
    case FileAttributes::Type::symbolicLink:
      return "is a symbolic link";
    case FileAttributes::Type::directory:
      return "is a folder";
    case FileAttributes::Type::other:
      break;
  }
  return "is not a regular file";
}

size_t HostAnswerCheck::dropUnsafeMembers(Directory& listing, const std::string& listedFolder) {
  std::string prefix;
  if (const auto parts = components(listedFolder)) {
    for (std::string_view part : *parts) prefix.append(part).push_back('/');
  }
  const auto unsafe = [&](const Member& member) {
    const std::string_view name(member.fullName);
    return !name.starts_with(prefix) || !plainName(name.substr(prefix.size()));
  };
  const auto kept = std::remove_if(listing.members.begin(), listing.members.end(), unsafe);
  const auto dropped = static_cast<size_t>(listing.members.end() - kept);
  listing.members.erase(kept, listing.members.end());
  return dropped;
}

}  // namespace tessellon
