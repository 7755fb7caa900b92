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

}  // namespace velmora
