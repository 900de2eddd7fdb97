#include "fuzz/HostileAnswers.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <utility>

namespace tessellon::fuzz {
namespace fs = std::filesystem;

HostileAnswers::HostileAnswers(std::shared_ptr<FuzzScript> script, Paths paths)
    : script_(std::move(script)), paths_(std::move(paths)) {}

Error HostileAnswers::error(uint8_t selector) {
  static const Error errors[] = {
      {"NSURLErrorDomain", -999, "cancelled"},
      {"NSURLErrorDomain", -1012, "user cancelled authentication"},
      {"NSCocoaErrorDomain", 3072, "the operation was cancelled"},
      {"ScriptedDelegate", 507, "insufficient storage"},
      {"NSURLErrorDomain", -1001, "timed out"},
      {"NSPOSIXErrorDomain", 28, "No space left on device"},
      {"BackupSDKError", 319, "remote full"},
      {},
      {std::string("\xff/..\n\0odd", 9), INT_MIN, std::string(300, 'x')},
  };
  const size_t choice = selector % 10;
  return choice < std::size(errors) ? errors[choice]
                                    : Error{"LocalFolderDelegate", selector, "refused"};
}

BackupSDKError HostileAnswers::downloadError(uint8_t selector) {
  static const BackupSDKError errors[] = {BackupSDKError::delegateFileDoesNotExist,
                                          BackupSDKError::delegateFileDownloadFailed,
                                          BackupSDKError::isCanceling,
                                          static_cast<BackupSDKError>(-999),
                                          static_cast<BackupSDKError>(507),
                                          static_cast<BackupSDKError>(INT_MAX)};
  return errors[selector % std::size(errors)];
}

std::string HostileAnswers::download(uint8_t selector) {
  const std::string path = paths_.downloads + "/served-" + std::to_string(served_.fetch_add(1));
  std::error_code ignored;
  switch (selector % 6) {
    case 0:
      std::ofstream(path, std::ios::binary) << script_->counted(2);
      return path;
    case 1:
      fs::create_symlink(paths_.canary, path, ignored);
      return path;
    case 2:
      fs::create_directories(path + "/inner", ignored);
      return path;
    case 3:
      return paths_.foreign;
    case 4:
      return path;  // never made
    default:
      return selector & 0x80 ? std::string() : std::string("served");
  }
}

std::string HostileAnswers::streamed() { return script_->counted(2); }

std::string HostileAnswers::name(uint8_t selector) {
  static const std::vector<std::string> names{"backup.json",
                                              "images.json",
                                              "contacts.json",
                                              "calendars.json",
                                              "lock.json",
                                              "..",
                                              ".",
                                              "",
                                              "/",
                                              "a/b",
                                              "../escape",
                                              "/etc",
                                              "FUZZDEV",
                                              "OTHER",
                                              "FUZZDEV.zip",
                                              std::string(300, 'n'),
                                              "\xff\xfe"};
  const size_t choice = selector % (names.size() + 1);
  if (choice < names.size()) return names[choice];
  return script_->bytes(script_->byte() % 64);
}

std::vector<Member> HostileAnswers::members(uint8_t count) {
  static const std::vector<int64_t> sizes{0,
                                          1,
                                          4096,
                                          -1,
                                          std::numeric_limits<int64_t>::min(),
                                          std::numeric_limits<int64_t>::max(),
                                          int64_t{1} << 40};
  std::vector<Member> members;
  for (int index = 0; index < count % 5; ++index) {
    const uint8_t nameSelector = script_->byte();
    const uint8_t sizeSelector = script_->byte();
    Member member;
    member.fullName = name(nameSelector);
    member.fileSizeInByte = sizes[sizeSelector % sizes.size()];
    member.type = nameSelector & 0x80 ? MemberType::directory : MemberType::file;
    members.push_back(std::move(member));
  }
  return members;
}

}  // namespace tessellon::fuzz
