#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Backup.h"
#include "tessellon/ProcessReport.h"

#include "futures/Future.h"
#include "futures/FuturesError.h"
#include "core/CancelToken.h"

namespace tessellon {

// The category steps of a restore. Each step takes the previous step's outcome,
// files the previous section into `report` (or logs its failure), then
// restores its own category. A cancelled previous step cancels the step; a
// null section means the category was not part of the restore.
class RestoreDataHandlerProtocol {
 public:
  static constexpr std::string_view kProtocolName = "RestoreDataHandlerProtocol";
  using Section = std::shared_ptr<ReportSection>;
  using SectionResult = FutureResult<Section>;

  RestoreDataHandlerProtocol() = default;
  virtual ~RestoreDataHandlerProtocol() = default;
  RestoreDataHandlerProtocol(const RestoreDataHandlerProtocol&) = delete;
  RestoreDataHandlerProtocol& operator=(const RestoreDataHandlerProtocol&) = delete;

  // `previous` is the outcome of downloading the list documents.
  virtual Future<Section> restoreContactsHandling(const FutureResult<Void>& previous,
                                                  const std::shared_ptr<Backup>& backup,
                                                  const std::shared_ptr<ProcessReport>& report) = 0;
  virtual Future<Section> restorCalendarsHandling(const SectionResult& previous,
                                                  const std::shared_ptr<Backup>& backup,
                                                  const std::shared_ptr<ProcessReport>& report) = 0;
  // Sections are RestoreMediaReportSection.
  virtual Future<Section> restoreImagesHandling(const SectionResult& previous,
                                                const std::shared_ptr<Backup>& backup,
                                                const std::shared_ptr<ProcessReport>& report,
                                                std::shared_ptr<CancelToken> cancelToken) = 0;
  // The image and the video step may run side by side: the video step is then given a previous
  // outcome without a section, and the caller files the image section once both have ended.
  virtual Future<Section> restoreVideosHandling(const SectionResult& previous,
                                                const std::shared_ptr<Backup>& backup,
                                                const std::shared_ptr<ProcessReport>& report,
                                                std::shared_ptr<CancelToken> cancelToken) = 0;
};

// Whether a step ended cancelled or failed with an error that means cancellation.
template <class T>
bool stepCancelled(const FutureResult<T>& result) {
  return result.isCancelled() || (result.isFail() && testForCancellation(result.failure()));
}

}  // namespace tessellon
