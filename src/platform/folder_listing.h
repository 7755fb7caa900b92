#pragma once

// One folder level as each system lists it; the walks over whole trees are written once on top.

#include <string>
#include <vector>

namespace velmora {

struct FolderEntry {
    std::string name;
    bool isFolder = false;
};

// The folder's entries in listing order, "." and ".." left out. The listing is read in full
// before anything is changed, so deletions and copies cannot disturb it. False when the folder
// cannot be listed.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries);

// The single steps of the walks, each as the system does it. Removal failures are not
// reported: a walk removes as much as it can.
void RemoveOneFile(const std::string& path);
void RemoveEmptyFolder(const std::string& folder);
// Makes the folder when it is missing, one level only.
void MakeFolderIfMissing(const std::string& folder);
// Copies one file over whatever is at destination; false when the copy failed (and then no
// half-copied file is left).
bool CopyOneFile(const std::string& source, const std::string& destination);

}  // namespace velmora
