// One output file written under a temporary name beside its final one, named finally only when whole.
#pragma once

#include "platform/ByteStream.h"
#include "platform/FileIdentity.h"
#include "platform/FileStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mtsrescue {

// A file whose writing stopped short (a full disk, an abort): removed, or left under its
// temporary name when even that failed. Never under its final name.
struct CutShortFile {
  std::string FinalPath;
  std::string LeftAs;  // the temporary name it stays under; empty when it was removed
};

// The refusal to create or replace a file that is the source or backs it.
class ProtectedFileError : public StreamError {
 public:
  using StreamError::StreamError;
};

// True for the names the writers give: "<digits>.MTS" and "YYYY-MM-DD HH-MM-SS[ (N)].MTS", and
// the temporary names ".part" and ".link" after them.
bool IsOutputName(const std::string& name);
// The paths in folder that bear such names (an earlier run's files), by number; empty when
// there are none or the folder cannot be read.
std::vector<std::string> EarlierOutputs(const std::string& folder);

// A stream opened OpenMode::CreateNew under TemporaryName(finalPath). Until Commit, the final
// name is untouched (an earlier file of that name stays as it was); an object destroyed without
// Commit removes its temporary file.
class OutputFile {
 public:
  // finalPath + ".part": in the same folder, so that the final rename moves no data.
  static std::string TemporaryName(const std::string& finalPath);
  // Throws StreamError "Cannot create file "<path>". ..." when path leads to (or is) one of
  // protectedFiles; for any other way of creating or replacing a file too.
  static void RefuseProtected(const std::string& path, const std::vector<FileIdentity>& protectedFiles);

  // Throws StreamError "Cannot create file "<path>". ..." when the final or the temporary name
  // leads to (or is) one of protectedFiles (the source and what backs it; see FilesBehindSource),
  // or when the temporary file cannot be created. A temporary file left by an earlier run is
  // replaced.
  OutputFile(std::string finalPath, const std::vector<FileIdentity>& protectedFiles, const StreamOpener& opener);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  IoResult Write(const void* buffer, std::int64_t count) { return stream_->Write(buffer, count); }
  // Flushes the file and gives it its final name. Throws ExportError "Cannot write file
  // "<final path>". <system text>" when either fails; the file is then abandoned.
  void Commit();
  // Gives up an uncommitted file: removes it, and says what became of it.
  CutShortFile Abandon();

  const std::string& FinalPath() const noexcept { return finalPath_; }

 private:
  std::string finalPath_;
  std::string temporaryPath_;
  std::unique_ptr<ByteStream> stream_;  // null once committed or abandoned
};

}  // namespace mtsrescue
