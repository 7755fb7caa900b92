#pragma once

#include <functional>
#include <optional>
#include <string>

namespace velmora {

// Looks up an environment variable; nullopt when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The process environment (getenv).
EnvLookup ProcessEnvironment();

// Where an installation keeps its shared files: <executableFolder>../share/velmora/, the layout
// of bin/ and share/ under one prefix.
std::string InstalledShareFolder(const std::string& executableFolder);

// The per-user program folder: $XDG_DATA_HOME/velmora/, else $HOME/.local/share/velmora/;
// empty when neither is usable (XDG_DATA_HOME counts only when it is an absolute path).
std::string UserProgramFolder(const EnvLookup& env);

// The program folder (ending in '/') that holds the System folder the program runs on.
// - A writable System beside the executable (portable copy, build tree): the executable's
//   folder.
// - Otherwise (installed read-only, e.g. under /usr): the per-user folder. On the first start
//   the installed System folder (a read-only one beside the executable, else
//   <executableFolder>../share/velmora/System) is copied there; once it exists it is used as
//   it is and never overwritten.
// - When no per-user copy can be had: the folder whose System can at least be read, else the
//   executable's folder.
// An empty executableFolder is returned as it is.
std::string ResolveProgramFolder(const std::string& executableFolder,
                                 const EnvLookup& env = ProcessEnvironment());

// The folder whose System came with the program: the one beside the executable, else
// <executableFolder>../share/velmora/; empty when neither has a System folder. A per-user copy
// made from it is never overwritten, so after an update the program looks here for what the
// copy lacks (texts added since).
std::string ShippedProgramFolder(const std::string& executableFolder);

}  // namespace velmora
