#pragma once

#include <string>

namespace tessellon::simulation {

// What one backup run faces besides the user's files: at most one fault of the remote, and
// optionally a file that changes while the run is under way.
struct FaultPlan {
  enum class Fault {
    none,
    failRequest,  // the nth request of `operation` fails; nothing reaches the remote
    remoteFull,   // from the nth upload on, every upload answers 507
    cancel,       // sdk.cancel at the nth request; a transfer cancelled so never starts
    abandon,  // from the nth request on the host is silent; the run is cancelled, the SDK dropped
    concurrentRun,  // at the first upload, another process backs up another folder as this device
    listingBeside,  // at the first download, the stored backups are listed beside the run
    hostCancels,    // the nth request (not a download) answers a cancellation-class error alone
    // Every download of the stored document `operation` fails: the run must fail and change
    // nothing, never rebuild a record that lacks what the document lists.
    documentUnavailable,
    // Every listing answers each file with size 0, as a host that leaves sizes out does: a
    // recorded item may be packed again, never dropped while its file is still there.
    sizelessListing,
    // Every download of the stored document `operation` ("backup.json", "images.json",
    // "videos.json") gives damaged bytes (odd nth) or says it does not exist (even nth): the run
    // rebuilds the record, and one that keeps deleted items must keep each file only the lost
    // document named.
    documentDamaged,
    // Every listing of "images" or "videos" leaves out files that are there: the second half
    // (odd nth, a lost page, from a host that cannot stream a file either) or all of them (even
    // nth); nth 3 leaves out all of them, and every read or download of one fails. A recorded
    // item may be packed again, never dropped while its file is there: the next clean-up would
    // delete that file. A host that cannot tell whether a file is there fails the run.
    listingOmits,
  };
  enum class Change { none, shrink, grow, edit };

  Fault fault = Fault::none;
  // failRequest: "uploadFile", "downloadFile", "inflateZip", "deleteFile"; documentUnavailable:
  // "images.json", "videos.json", "contacts.json", "calendars.json"; documentDamaged: above.
  std::string operation;
  int nth = 0;
  // At the changeAt-th upload of an archive holding a media document, a file of that category
  // the archive does not list yet shrinks, grows, or is rewritten at its size (an editor saving
  // in place): a file fingerprinted before then must not be packed under that fingerprint.
  Change change = Change::none;
  int changeAt = 0;
  // Every answer of the host comes twice.
  bool answersTwice = false;
  // Fault::cancel: when above zero, the request at which the run is cancelled (a download
  // aside) is not stopped; it reaches the remote this many milliseconds later.
  int lateMs = 0;

  // No fault of the remote: the run must finish, failing at most the files that changed.
  bool mustFinish() const {
    return fault == Fault::none || fault == Fault::listingBeside ||
           fault == Fault::documentDamaged || (fault == Fault::listingOmits && !unreadable());
  }
  // listingOmits: the left-out files cannot be read either.
  bool unreadable() const { return fault == Fault::listingOmits && nth == 3; }
  // The host only cancels: the run ends cancelled (or finished), never with an error.
  bool mustNotFail() const { return fault == Fault::hostCancels; }

  std::string describe() const;
};

}  // namespace tessellon::simulation
