#include "simulation/ActionGenerator.h"

#include <map>

namespace tessellon::simulation {
namespace {

const std::vector<std::string> kFolders{"", "2019/", "2020/trip/"};
const std::vector<std::string> kPictureExtensions{"jpg", "jpeg", "JPG", "png", "heic", ""};
const std::vector<std::string> kMovieExtensions{"mov", "mp4", "MOV", ""};
const std::vector<std::string> kFailingRequests{"uploadFile", "downloadFile", "inflateZip",
                                                "deleteFile"};
const std::vector<std::string> kDocuments{"images.json", "videos.json", "contacts.json",
                                          "calendars.json"};
const std::vector<std::string> kDamagedDocuments{"backup.json", "images.json", "videos.json"};
const std::vector<int64_t> kZipSizes{8 * 1024, 24 * 1024, 64 * 1024, 1024 * 1024};
// A fingerprint reads windows of this size at the start, middle and end of a file longer than
// three of them; a file this long has bytes between the first two.
constexpr size_t kWindow = 8192;
constexpr size_t kPatchableSize = 26000;

// "Pictures/2019/f3.jpg" in its parts: "Pictures", "2019/", "f3", "jpg".
struct PathParts {
  std::string root, folder, stem, extension;

  explicit PathParts(const std::string& path) {
    const size_t rootEnd = path.find('/');
    const size_t nameStart = path.rfind('/') + 1;
    root = path.substr(0, rootEnd);
    folder = path.substr(rootEnd + 1, nameStart - rootEnd - 1);
    const std::string name = path.substr(nameStart);
    const size_t dot = name.rfind('.');
    stem = name.substr(0, dot);
    extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  }
  std::string path() const {
    return root + "/" + folder + stem + (extension.empty() ? "" : "." + extension);
  }
};

std::string otherExtension(const std::string& extension) {
  static const std::map<std::string, std::string> kRenames{
      {"jpeg", "jpg"}, {"jpg", "jpeg"}, {"JPG", "jpg"}, {"png", "PNG"}, {"heic", "HEIC"},
      {"mov", "MOV"},  {"MOV", "mov"},  {"mp4", "m4v"}, {"", "jpg"}};
  const auto found = kRenames.find(extension);
  return found == kRenames.end() ? "" : found->second;
}

}  // namespace

ActionGenerator::ActionGenerator(uint32_t seed)
    : random_(seed), nextContent_(seed * 1000u), clockMs_(1600000000000 + int64_t{seed} * 7919) {}

bool ActionGenerator::chance(int percent) { return below(100) < percent; }

int ActionGenerator::below(int bound) {
  return std::uniform_int_distribution<int>(0, bound - 1)(random_);
}

int64_t ActionGenerator::nextTime() {
  clockMs_ += 2000 + below(5000);
  return clockMs_;
}

ActionList ActionGenerator::initialHome() {
  ActionList actions;
  const int pictures = 8 + below(9);
  const int movies = 2 + below(4);
  for (int i = 0; i < pictures; ++i) actions.push_back(newFile("Pictures"));
  for (int i = 0; i < movies; ++i) actions.push_back(newFile("Movies"));
  return actions;
}

Action ActionGenerator::newFile(std::string folder) {
  if (folder.empty()) folder = chance(75) ? "Pictures" : "Movies";
  const std::string& extension = pick(folder == "Pictures" ? kPictureExtensions : kMovieExtensions);
  Action action;
  action.kind = Action::Kind::write;
  action.path = folder + "/" + pick(kFolders) + "f" + std::to_string(nextName_++) +
                (extension.empty() ? "" : "." + extension);
  // A few are large enough for a fingerprint that samples three windows rather than reading all.
  action.size = static_cast<size_t>(chance(5)   ? 1 + below(64)
                                    : chance(8) ? 26000 + below(40000)
                                                : 1000 + below(19000));
  action.seed = nextContent_++;
  action.mtimeMs = nextTime();
  return action;
}

Action ActionGenerator::rewrite(const std::string& path, size_t size) {
  Action action;
  action.kind = Action::Kind::write;
  action.path = path;
  action.size = chance(50) ? 1 + size / 2 : size + 500 + static_cast<size_t>(below(4000));
  action.seed = nextContent_++;
  action.mtimeMs = nextTime();
  return action;
}

Action ActionGenerator::userAction(const HomeModel& model) {
  std::vector<std::string> media = model.pathsBelow("Pictures");
  for (const std::string& path : model.pathsBelow("Movies")) media.push_back(path);
  const int roll = below(100);
  if (roll < 25 || media.empty()) return newFile();
  const std::string& path = pick(media);
  if (roll < 37) {
    Action remove;
    remove.kind = Action::Kind::remove;
    remove.path = path;
    return remove;
  }
  const size_t size = model.files().at(path).content.size();
  if (roll < 52) return rewrite(path, size);
  if (roll < 56) {
    std::vector<std::string> large;
    for (const std::string& candidate : media) {
      if (model.files().at(candidate).content.size() >= kPatchableSize) large.push_back(candidate);
    }
    if (!large.empty()) {
      // A byte between the first two windows a fingerprint samples: the size and the fingerprint
      // stay, the content does not.
      Action patch;
      patch.kind = Action::Kind::patch;
      patch.path = pick(large);
      const size_t length = model.files().at(patch.path).content.size();
      patch.size =
          kWindow + static_cast<size_t>(below(static_cast<int>(length / 2 - 3 * kWindow / 2)));
      patch.mtimeMs = nextTime();
      return patch;
    }
  }
  if (roll < 60) {
    Action touch;
    touch.kind = Action::Kind::touch;
    touch.path = path;
    touch.mtimeMs = nextTime();
    return touch;
  }
  return roll < 85 ? renameOf(model) : copyOf(model);
}

// A new name, a new extension only (photo.jpeg -> photo.jpg), another folder, or the other
// media folder.
Action ActionGenerator::renameOf(const HomeModel& model) {
  std::vector<std::string> media = model.pathsBelow("Pictures");
  for (const std::string& path : model.pathsBelow("Movies")) media.push_back(path);
  Action rename;
  rename.kind = Action::Kind::rename;
  rename.path = pick(media);
  PathParts target(rename.path);
  switch (below(4)) {
    case 0:
      target.stem = "f" + std::to_string(nextName_++);
      break;
    case 1:
      target.extension = otherExtension(target.extension);
      break;
    case 2:
      target.folder = pick(kFolders);
      break;
    default:
      target.root = target.root == "Pictures" ? "Movies" : "Pictures";
      break;
  }
  if (model.files().count(target.path())) target.stem = "f" + std::to_string(nextName_++);
  rename.target = target.path();
  return rename;
}

// A duplicate beside the original, or the content copied into the other media folder (a
// video's bytes in the picture folder).
Action ActionGenerator::copyOf(const HomeModel& model) {
  std::vector<std::string> media = model.pathsBelow("Pictures");
  for (const std::string& path : model.pathsBelow("Movies")) media.push_back(path);
  Action copy;
  copy.kind = Action::Kind::copy;
  copy.path = pick(media);
  PathParts target(copy.path);
  target.stem = "f" + std::to_string(nextName_++);
  if (chance(50)) target.root = target.root == "Pictures" ? "Movies" : "Pictures";
  copy.target = target.path();
  return copy;
}

Action ActionGenerator::backup(bool faultFree) {
  Action action;
  action.kind = Action::Kind::backup;
  RunSettings& settings = action.settings;
  settings.images = chance(85);
  settings.videos = chance(75);
  settings.contacts = chance(40);
  settings.calendars = chance(30);
  settings.images =
      settings.images || !(settings.videos || settings.contacts || settings.calendars);
  settings.keepDeletedItems = chance(40);
  settings.zipSize = pick(kZipSizes);
  if (!faultFree) action.faults = faults();
  return action;
}

FaultPlan ActionGenerator::faults() {
  FaultPlan plan;
  const int roll = below(100);
  using Fault = FaultPlan::Fault;
  plan.fault = roll < 17   ? Fault::none
               : roll < 20 ? Fault::listingOmits
               : roll < 25 ? Fault::sizelessListing
               : roll < 41 ? Fault::failRequest
               : roll < 45 ? Fault::documentDamaged
               : roll < 50 ? Fault::documentUnavailable
               : roll < 58 ? Fault::remoteFull
               : roll < 70 ? Fault::cancel
               : roll < 80 ? Fault::abandon
               : roll < 85 ? Fault::concurrentRun
               : roll < 93 ? Fault::listingBeside
                           : Fault::hostCancels;
  if (plan.fault == Fault::failRequest) plan.operation = pick(kFailingRequests);
  if (plan.fault == Fault::documentUnavailable) plan.operation = pick(kDocuments);
  plan.nth = plan.fault == Fault::cancel || plan.fault == Fault::abandon ||
                     plan.fault == Fault::hostCancels
                 ? 1 + below(25)
                 : 1 + below(5);
  // Drawn from nth rather than a draw of its own, so that other seeds keep their histories.
  if (plan.fault == Fault::documentDamaged) {
    plan.operation = kDamagedDocuments[static_cast<size_t>(plan.nth) % kDamagedDocuments.size()];
  }
  // Late within the one-second grace, or past it.
  if (plan.fault == Fault::cancel && chance(50)) {
    plan.lateMs = chance(25) ? 1100 + below(1400) : 20 + below(300);
  }
  plan.answersTwice = chance(10);
  if (chance(15)) {
    constexpr FaultPlan::Change kChanges[] = {FaultPlan::Change::shrink, FaultPlan::Change::grow,
                                              FaultPlan::Change::edit};
    plan.change = kChanges[below(3)];
    plan.changeAt = 1 + below(2);
  }
  return plan;
}

}  // namespace tessellon::simulation
