// DetailOf: the parts of the exceptions the run's stages throw.
#include "engine/FailureDetail.h"

#include "engine/ExportFragments.h"
#include "engine/OutputFile.h"
#include "platform/FileStream.h"

namespace mtsrescue {

FailureDetail DetailOf(const std::exception& error, bool fromSource, const std::string& sourcePath) {
  if (const auto* e = dynamic_cast<const ExportError*>(&error)) return {e->Kind(), e->Path(), e->Code()};
  if (const auto* e = dynamic_cast<const ProtectedFileError*>(&error))
    return {FailureKind::OutputIsSource, e->Path(), e->Code()};
  if (const auto* e = dynamic_cast<const StreamError*>(&error)) {
    if (fromSource) return {FailureKind::SourceOpen, e->Path().empty() ? sourcePath : e->Path(), e->Code()};
    return {FailureKind::OutputCreate, e->Path(), e->Code()};
  }
  return {FailureKind::Other, fromSource ? sourcePath : std::string(), {}};
}

bool OutputFailure(FailureKind kind) noexcept {
  switch (kind) {
    case FailureKind::FolderCreate:
    case FailureKind::OutputCreate:
    case FailureKind::OutputIsSource:
    case FailureKind::OutputWrite:
    case FailureKind::SpaceDeclined:
      return true;
    default:
      return false;
  }
}

}  // namespace mtsrescue
