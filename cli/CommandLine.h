// The command line of mtsrescue-cli: options, the two operands, usage errors and the help text.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace mtsrescue {

// Documented in the help text; main returns these.
enum class ExitCode : int {
  Success = 0,      // every fragment long enough was written (or listed, for --dry-run)
  Usage = 1,        // bad options or operands
  SourceOrDest = 2, // the source could not be opened, measured or read at all, is no file or disk, or the
                    // destination not made, on the source, or holding a file that is the source
  Export = 3,       // an output file could not be created or written (earlier files stay), or the source shrank
  Interrupted = 4,  // Ctrl-C ended the reading early (what was found was still exported), or a second one
                    // gave up the writing (the files listed as written are whole)
};

// A bad command line; what() is the message to print before the usage hint.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CliOptions {
  std::string Source;     // an image file or a device path, as given
  std::string DestFolder; // empty only for --dry-run without a destination
  bool Quiet = false;
  bool DryRun = false;
  bool NoClips = false;   // leave out the rebuilding of whole recordings into DEST/clips
  bool Json = false;
  bool Help = false;
  bool Version = false;
  bool List = false;   // list the disks and volumes instead of recovering
  bool Force = false;  // write to DEST even when it lies on the source
  bool Thumbnails = false;  // a picture of each recording in DEST/thumbnails, and DEST/index.html
};

class CommandLine {
 public:
  // args: the arguments after the program name, UTF-8. "--" ends the options. Throws UsageError.
  // With --help or --version the operands are not required.
  static CliOptions Parse(const std::vector<std::string>& args);
  static std::string HelpText(const std::string& programName);
  static std::string VersionText(const std::string& programName);

 private:
  struct Flag {
    const char* LongName;
    char ShortName;  // '\0' when there is none
    bool CliOptions::*Field;
    const char* Help;
  };
  static const std::vector<Flag>& Flags();
};

}  // namespace mtsrescue
