#pragma once

#include <sys/stat.h>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "futures/Result.h"
#include "platform/files/FileAttributes.h"
#include "platform/files/ListedItem.h"

// The POSIX sequences behind the local file service, one function each. Every
// failure is the errno through posixError. Stateless; any thread.
namespace tessellon::posix {

// Writes `content` to a fresh sibling of `path` and renames it over `path`; on
// failure the sibling is removed and `path` is as it was.
Result<void> writeFileAtomically(const std::string& path, std::string_view content);

// The whole content of a file (not a folder).
Result<std::string> readWholeFile(const std::string& path);

// The path a text names: the text itself, or the percent-decoded path of a
// "file:" URL. Nothing for an empty text, a URL naming another host, a bad
// escape or an embedded NUL.
std::optional<std::string> filePathFromText(std::string_view text);

// rename(2). Across volumes: a copy to a sibling of `target`, renamed into
// place, then removal of `source`; a failed copy leaves `source` untouched.
Result<void> moveItem(const std::string& source, const std::string& target);

// Moves `source` to `target` unless something is there (EEXIST). Across volumes
// (or where the file system cannot rename without replacing): copyItem, then
// removal of `source`.
Result<void> moveItemWithoutReplacing(const std::string& source, const std::string& target);

// Writes to disk whatever the file system holding `path` still keeps in memory, and reports a
// write-back that failed since the last such call: one flush for all the files of a restore,
// where one per file made a large restore many times slower.
Result<void> syncFileSystem(const std::string& path);

// The process's file-creation mask, read without changing it; nothing when
// /proc cannot tell.
std::optional<unsigned> fileCreationMask();

// Copies a file, link or folder tree to `destiny`, which must not exist
// (EEXIST). Files keep permissions and times; contents are streamed. A file is
// built beside `destiny` and then named, so it shows whole or not at all. A
// failed copy removes what it made.
Result<void> copyItem(const std::string& source, const std::string& destiny);

// Every path below `root`, relative to it, in pre-order with each folder's
// entries sorted by name. Links to folders are listed but not entered.
Result<std::vector<std::string>> listSubpaths(const std::string& root);

// As listSubpaths, each entry with its type; with `withAttributes` every entry but a folder
// also carries statx's attributes (absent when it failed, for an entry that vanished).
Result<std::vector<ListedItem>> listSubpathsWithAttributes(const std::string& root,
                                                           bool withAttributes);
// The same entries handed to `visit` one by one as the walk reads them, so a caller that keeps
// only some of them never holds the whole list; `visit` answers false to end the walk early.
Result<void> visitSubpathsWithAttributes(const std::string& root, bool withAttributes,
                                         const std::function<bool(ListedItem&&)>& visit);

// The folders below `root` whose name ends with `suffix`, relative to it and sorted; such a
// folder is not entered, nor is a link or a folder that cannot be listed. Files cost only
// their directory entry, and a folder whose link count shows no subfolders is not read.
std::vector<std::string> findFoldersEndingWith(const std::string& root, std::string_view suffix);

// The attributes of a statx answer; the type is the item's own (links are not followed).
FileAttributes attributesFrom(const struct statx& status);

// Creates `path` and the folders between `privateRoot` and it with mode 0700.
// `privateRoot` itself must end up a real folder owned by this user that no one
// else may write to: it is created 0700, tightened when others could only read
// it, and refused (EPERM, the message saying why) when it is a link, another
// user's, or was open to others' writes (what they planted cannot be told
// apart). Links below it are refused, not followed.
Result<void> createPrivateDirectory(const std::string& privateRoot, const std::string& path);

// As createPrivateDirectory for `privateRoot` alone, answering the folder open
// (O_RDONLY | O_DIRECTORY); the caller closes the descriptor.
Result<int> openPrivateDirectory(const std::string& privateRoot);

// Whether the existing `privateRoot` is still private, tightened as above when
// others could only read it: ENOENT when missing, EPERM as above; nothing is created.
Result<void> checkPrivateDirectory(const std::string& privateRoot);

// Removes `name` in the open folder `folder`: a file or link, or a folder with
// all it holds. Links are removed, never followed. 0 or the first errno.
int removeTreeAt(int folder, const std::string& name);

}  // namespace tessellon::posix
