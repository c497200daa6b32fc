// The destination's checks before a run reads anything: the folder is made, nothing the run
// writes can be the source, and a file can be created there.
#pragma once

#include "engine/FailureDetail.h"
#include "platform/ByteStream.h"

#include <string>
#include <vector>

namespace mtsrescue {

struct DestinationProblem {
  FailureDetail Detail;  // Kind None: the destination is usable
  std::string Message;   // the English text, as the command line prints it
  explicit operator bool() const noexcept { return Detail.Kind != FailureKind::None; }
};

// Makes destFolder (and its parents), then refuses it when it is the source, when a file there
// that a run would replace is the source or backs it (an image of the card saved as DEST/0.MTS),
// or when no file can be created in it (read-only, no permission: the write probe, made the way
// every output is and removed at once). Never opens the source. sourcePath as the system knows
// it (a device node rather than a menu name), so that what backs it is found. moreFolders: the
// other folders the run writes into (the recordings' folder), checked for the source's files too.
DestinationProblem PrepareDestination(const std::string& destFolder, const std::string& sourcePath,
                                      const StreamOpener& opener, const std::vector<std::string>& moreFolders = {});

}  // namespace mtsrescue
