// Fixed histories through the same simulator: each one the shortest way we know to a fault the
// seeded histories found, so a fix is checked every time and not only by the seeds that draw it.

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "simulation/Simulator.h"

namespace tessellon::simulation {
namespace {

using ::testing::IsEmpty;
using Fault = FaultPlan::Fault;

constexpr int64_t kSmallArchives = 8 * 1024;

Action write(const std::string& path, uint32_t content, size_t size = 6000) {
  Action action = Action::of(Action::Kind::write, path);
  action.seed = content;
  action.size = size;
  action.mtimeMs = 1600000000000 + int64_t{content} * 3000;
  return action;
}

Action move(Action::Kind kind, const std::string& from, const std::string& to) {
  Action action = Action::of(kind, from);
  action.target = to;
  return action;
}

Action backup(RunSettings settings = {}, FaultPlan faults = {}) {
  Action action = Action::of(Action::Kind::backup);
  settings.zipSize = settings.zipSize > 0 ? settings.zipSize : kSmallArchives;
  action.settings = settings;
  action.faults = faults;
  return action;
}

FaultPlan fault(Fault kind, int nth = 1, std::string operation = "") {
  FaultPlan plan;
  plan.fault = kind;
  plan.nth = nth;
  plan.operation = std::move(operation);
  return plan;
}

// `count` pictures of about 6 KB, so small archives hold one or two each.
ActionList pictures(int count, uint32_t firstContent = 1) {
  ActionList actions;
  for (int i = 0; i < count; ++i) {
    actions.push_back(write("Pictures/p" + std::to_string(i) + ".jpg", firstContent + i));
  }
  return actions;
}

ActionList operator+(ActionList left, const ActionList& right) {
  left.insert(left.end(), right.begin(), right.end());
  return left;
}

class ScriptedHistoryTest : public ::testing::Test {
 protected:
  void expectContractHeld(const ActionList& actions) {
    Simulator simulator(/*seed=*/1, TESSELLON_CLI_PATH);
    EXPECT_THAT(simulator.replay(actions), IsEmpty()) << simulator.history();
  }
};

TEST_F(ScriptedHistoryTest, RenamesAndCopiesKeepEveryRecordedFileOnTheRemote) {
  const RunSettings media{.images = true, .videos = true};
  const struct {
    const char* name;
    ActionList actions;
  } histories[] = {
      {"extension-only rename",
       {write("Pictures/photo.jpeg", 1), backup(),
        move(Action::Kind::rename, "Pictures/photo.jpeg", "Pictures/photo.jpg"), backup()}},
      {"a video's bytes copied into the picture folder",
       {write("Movies/clip.mov", 2), backup(media),
        move(Action::Kind::copy, "Movies/clip.mov", "Pictures/clip.mov"), backup(media)}},
      {"a picture moved into the movie folder",
       {write("Pictures/a.jpg", 3), backup(media),
        move(Action::Kind::rename, "Pictures/a.jpg", "Movies/a.jpg"), backup(media)}},
  };
  for (const auto& history : histories) {
    SCOPED_TRACE(history.name);
    expectContractHeld(history.actions);
  }
}

// A fingerprint samples three 8 KiB windows of a large file. A byte changed between them keeps
// the size and the fingerprint; the backup must still store the new content, and a restore give
// it back, with the old content kept while a copy still holds it.
TEST_F(ScriptedHistoryTest, AnEditOutsideTheSampledWindowsIsStoredAndRestored) {
  Action patch = Action::of(Action::Kind::patch, "Pictures/scan.jpg");
  patch.size = 20000;
  patch.mtimeMs = 1600000500000;
  expectContractHeld(ActionList{write("Pictures/scan.jpg", 7, 100000),
                                move(Action::Kind::copy, "Pictures/scan.jpg", "Pictures/old.jpg"),
                                backup(), patch, backup(), backup()});
  // The old content is kept only by the record, and its file is listed at another size, so it
  // counts as damaged: the edited file has its name, and must not take the file's place.
  expectContractHeld(
      ActionList{write("Pictures/scan.jpg", 7, 100000), backup(), patch,
                 backup({.images = true, .keepDeletedItems = true}, fault(Fault::sizelessListing)),
                 backup({.images = true, .keepDeletedItems = true})});
  // The category's document is lost: the rebuilt record has only the listing, whose file under
  // that name holds the old content.
  expectContractHeld(ActionList{write("Pictures/scan.jpg", 7, 100000), backup(), patch,
                                backup({}, fault(Fault::documentDamaged, 1, "images.json")),
                                backup()});
  // A run without pictures loses their document and keeps their files as recovered items, which
  // carry no checksum: the edited file's sampled name must not take the old bytes for its own.
  expectContractHeld(ActionList{write("Pictures/scan.jpg", 7, 100000), backup(), patch,
                                backup({.images = false, .keepDeletedItems = true},
                                       fault(Fault::documentDamaged, 2, "images.json")),
                                backup({.keepDeletedItems = true})});
  // The same recovered file, then listed at size 0 so that it counts as damaged: with no checksum
  // recorded, the stored bytes must be read before the edited file may take the name.
  expectContractHeld(ActionList{write("Pictures/scan.jpg", 7, 100000), backup(),
                                backup({.images = false, .keepDeletedItems = true},
                                       fault(Fault::documentDamaged, 2, "images.json")),
                                patch, backup({}, fault(Fault::sizelessListing))});
}

TEST_F(ScriptedHistoryTest, CopiesOfOneContentKeepTheirOwnDates) {
  Action touched = Action::of(Action::Kind::touch, "Pictures/copy.jpg");
  touched.mtimeMs = 1600000100000;
  for (const bool keepDeleted : {false, true}) {
    SCOPED_TRACE(keepDeleted ? "deleted items kept" : "deleted items not kept");
    const RunSettings settings{.images = true, .keepDeletedItems = keepDeleted};
    // Stored as one item with two paths, then one path gets a date of its own.
    expectContractHeld({write("Pictures/a.jpg", 1),
                        move(Action::Kind::copy, "Pictures/a.jpg", "Pictures/copy.jpg"),
                        backup(settings), touched, backup(settings), backup(settings)});
  }
}

TEST_F(ScriptedHistoryTest, FilesChangingDuringARunAreNeitherStoredWrongNorFailTheRun) {
  for (const auto change :
       {FaultPlan::Change::shrink, FaultPlan::Change::grow, FaultPlan::Change::edit}) {
    SCOPED_TRACE(static_cast<int>(change));
    FaultPlan changing;
    changing.change = change;
    changing.changeAt = 1;
    expectContractHeld(pictures(8) + ActionList{backup({}, changing), backup()});
  }
}

TEST_F(ScriptedHistoryTest, ACancelledRunNeverRecordsWhatDidNotCross) {
  // Every request of the first run in turn; the next run starts from what was left.
  for (int request = 1; request <= 20; ++request) {
    SCOPED_TRACE("cancel at request " + std::to_string(request));
    expectContractHeld(pictures(6) +
                       ActionList{backup({}, fault(Fault::cancel, request)), backup()});
  }
}

TEST_F(ScriptedHistoryTest, AHostThatReportsCancellationEndsTheRunAsCancelled) {
  // No cancel of the user's: the host alone says a request was cancelled, once at each request
  // of the first run in turn; the run must end as a cancelled one does, never with an error.
  for (int request = 1; request <= 20; ++request) {
    SCOPED_TRACE("the host cancels request " + std::to_string(request));
    expectContractHeld(pictures(6) +
                       ActionList{backup({}, fault(Fault::hostCancels, request)), backup()});
  }
}

TEST_F(ScriptedHistoryTest, AHostThatAnswersEverythingTwiceLosesNothing) {
  FaultPlan twice;
  twice.answersTwice = true;
  expectContractHeld(pictures(6) + ActionList{backup({}, twice), backup({}, twice)});
}

TEST_F(ScriptedHistoryTest, AFailedDocumentUploadLeavesNoClaimOfIt) {
  const RunSettings contacts{.images = true, .contacts = true};
  const RunSettings calendars{.images = true, .calendars = true};
  expectContractHeld(
      pictures(2) +
      ActionList{backup(contacts, fault(Fault::failRequest, 1, "uploadFile")),
                 backup(calendars, fault(Fault::failRequest, 2, "uploadFile")),
                 backup(RunSettings{.images = true, .contacts = true, .calendars = true})});
}

TEST_F(ScriptedHistoryTest, ARunThatCannotReadAStoredDocumentChangesNothing) {
  // The deleted picture is kept only by what images.json lists.
  const RunSettings keepDeleted{.images = true, .keepDeletedItems = true};
  expectContractHeld(
      pictures(3) +
      ActionList{backup(keepDeleted), Action::of(Action::Kind::remove, "Pictures/p0.jpg"),
                 backup(keepDeleted, fault(Fault::documentUnavailable, 1, "images.json")),
                 backup(keepDeleted)});
}

TEST_F(ScriptedHistoryTest, ARecordRebuiltFromALostDocumentKeepsWhatOnlyThatDocumentListed) {
  // The deleted picture is kept only by what the lost document listed.
  const RunSettings keepDeleted{.images = true, .keepDeletedItems = true};
  for (const char* document : {"backup.json", "images.json"}) {
    for (const int nth : {1, 2}) {
      SCOPED_TRACE(std::string(document) + (nth == 1 ? " damaged" : " missing"));
      expectContractHeld(
          pictures(3) +
          ActionList{backup(keepDeleted), Action::of(Action::Kind::remove, "Pictures/p0.jpg"),
                     backup(keepDeleted, fault(Fault::documentDamaged, nth, document)),
                     backup(keepDeleted)});
    }
  }
}

TEST_F(ScriptedHistoryTest, AHostWhoseListingIsWrongDropsNothingTheRecordKeeps) {
  // The deleted picture is kept only by the record, and its file only by the listing's word: one
  // without sizes, one that lost its second page, one that lists nothing, one that lists nothing
  // from a host that cannot read a file either.
  const RunSettings keepDeleted{.images = true, .keepDeletedItems = true};
  for (const FaultPlan& wrong : {fault(Fault::sizelessListing), fault(Fault::listingOmits, 1),
                                 fault(Fault::listingOmits, 2), fault(Fault::listingOmits, 3)}) {
    SCOPED_TRACE(wrong.describe());
    expectContractHeld(pictures(3) + ActionList{backup(keepDeleted),
                                                Action::of(Action::Kind::remove, "Pictures/p0.jpg"),
                                                backup(keepDeleted, wrong), backup(keepDeleted)});
  }
}

TEST_F(ScriptedHistoryTest, TheCleanUpOfARunNeverDeletesWhatTheNextRunStores) {
  // The second run leaves pictures and calendars out: its clean-up, which runs after it
  // completed, deletes their files while the third, started at once, stores the calendars.
  expectContractHeld(
      pictures(12) +
      ActionList{backup(), backup(RunSettings{.images = false}),
                 backup(RunSettings{.images = false, .videos = false, .calendars = true})});
}

TEST_F(ScriptedHistoryTest, OperationsBesideARunLoseNothing) {
  const RunSettings keepDeleted{.images = true, .keepDeletedItems = true};
  expectContractHeld(pictures(3) + ActionList{backup(keepDeleted),
                                              backup(keepDeleted, fault(Fault::concurrentRun))});
  expectContractHeld(pictures(3) + ActionList{backup(), backup({}, fault(Fault::listingBeside))});
}

}  // namespace
}  // namespace tessellon::simulation
