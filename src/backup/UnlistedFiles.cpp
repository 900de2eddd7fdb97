#include "backup/UnlistedFiles.h"

#include <algorithm>

#include "tessellon/BackupSDKError.h"

#include "futures/FuturesError.h"

namespace tessellon {

struct UnlistedFiles::Probe {
  std::string folder;
  std::shared_ptr<CancelToken> token;
  Recorded unlisted;
  std::vector<Member> found;
  Promise<Void> done;
};

UnlistedFiles::UnlistedFiles(std::shared_ptr<RemoteIOServiceProtocol> remote,
                             std::shared_ptr<FileIOServiceProtocol> files)
    : remote_(std::move(remote)), files_(std::move(files)) {}

Future<std::shared_ptr<const Directory>> UnlistedFiles::confirm(
    const std::string& folder, const std::shared_ptr<const Directory>& listing, Recorded unlisted,
    std::shared_ptr<CancelToken> token) {
  auto probe = std::make_shared<Probe>();
  probe->folder = folder;
  probe->token = std::move(token);
  // Items that share one stored file (the same content at two dates) ask for it once.
  std::sort(unlisted.begin(), unlisted.end());
  unlisted.erase(std::unique(unlisted.begin(), unlisted.end(),
                             [](const auto& a, const auto& b) { return a.first == b.first; }),
                 unlisted.end());
  probe->unlisted = std::move(unlisted);
  probeFrom(probe, 0);
  return probe->done.future.onSuccess([probe, listing]() -> std::shared_ptr<const Directory> {
    if (probe->found.empty()) return listing;
    auto completed = std::make_shared<Directory>(*listing);
    completed->members.insert(completed->members.end(), probe->found.begin(), probe->found.end());
    return completed;
  });
}

void UnlistedFiles::probeFrom(const std::shared_ptr<Probe>& probe, size_t index) {
  if (index == probe->unlisted.size()) return probe->done.completeWithSuccess(Void{});
  const auto& [name, bytes] = probe->unlisted[index];
  std::string path = probe->folder + "/" + name;
  // Each answer is taken on the primary executor: a folder of many such files grows no stack.
  const Future<bool> asked = holds(path, probe->token);
  asked.onComplete(
      [this, probe, index, path = std::move(path), bytes = bytes](const FutureResult<bool>& held) {
        if (held.isFail()) return probe->done.completeWithFail(held.failure());
        if (!held.isSuccess()) return probe->done.completeWithCancel();
        if (held.successValue()) probe->found.push_back({path, bytes, MemberType::file});
        probeFrom(probe, index + 1);
      });
}

Future<bool> UnlistedFiles::holds(const std::string& path,
                                  const std::shared_ptr<CancelToken>& token) {
  // Only the host's word that the file does not exist lets it be taken as gone. Any other
  // refusal (a network fault, a busy host) tells nothing, and the run stops rather than drop an
  // item whose file may be the only copy.
  auto refused = [](const Error& error) {
    if (testForCancellation(error)) return Future<bool>::cancelled();
    if (isError(error, BackupSDKError::delegateFileDoesNotExist)) {
      return Future<bool>::success(false);
    }
    return Future<bool>::fail(error);
  };
  return remote_
      ->readFile(
          path, [](const char*, size_t) { return false; }, token)
      .onComplete([this, path, token, refused](const FutureResult<bool>& read) -> Future<bool> {
        if (read.isCancelled()) return Future<bool>::cancelled();
        if (read.isFail()) return refused(read.failure());
        if (read.successValue()) return Future<bool>::success(true);
        // The host cannot stream: the file is downloaded instead, and let go.
        return remote_->downloadFileInternal(path, nullptr, token)
            .onComplete(
                [files = files_, refused](const FutureResult<std::string>& copy) -> Future<bool> {
                  if (copy.isCancelled()) return Future<bool>::cancelled();
                  if (copy.isFail()) return refused(copy.failure());
                  (void)files->deleteItem(copy.successValue());
                  return Future<bool>::success(true);
                });
      });
}

}  // namespace tessellon
