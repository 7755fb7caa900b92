#pragma once

#include <string>
#include <vector>

namespace velmora {

// Folder walks. Entries come in the order the file system lists them, "." and ".." skipped,
// paths joined with a single '/'. A symbolic link is an entry like a file: walks never descend
// through it.

// Appends folder/.../fileName for every file named exactly fileName (case-sensitive, whole
// name) in folder or below. 1 when at least one was found, else 0 (also when unlistable).
int FindFileInTree(const std::string& folder, const std::string& fileName,
                   std::vector<std::string>& found);

// Removes everything below folder and folder itself. -1 when folder cannot be listed, otherwise
// 0 whatever single deletions failed.
int DeleteTree(const std::string& folder);

// Copies the files below source to the same places below destination, overwriting. A
// destination folder is made (one level) only when its first file is copied into it.
// 0 on success, -1 at the first failure.
int CopyTree(const std::string& source, const std::string& destination);

// Lists of fewer than three entries are left as they are.
void SortTextList(std::vector<std::string>& list);    // ascending, case-insensitive
void SortNumberList(std::vector<std::string>& list);  // ascending by leading float value

}  // namespace velmora
