// Parsing of mtsrescue-cli's command line and its help text.
#include "cli/CommandLine.h"

#include "thumbnails/FrameDecoder.h"

#include <cstdio>

namespace mtsrescue {

const std::vector<CommandLine::Flag>& CommandLine::Flags() {
  static const std::vector<Flag> flags = {
      {"dry-run", 'n', &CliOptions::DryRun,
       "scan and merge, list what would be written, write nothing"},
      {"json", 'j', &CliOptions::Json, "print the report on stdout as JSON"},
      {"no-clips", '\0', &CliOptions::NoClips,
       "do not rebuild whole recordings from their pieces into DEST/clips"},
      {"thumbnails", '\0', &CliOptions::Thumbnails,
       "write a picture of each recording into DEST/thumbnails and the page DEST/index.html"},
      {"quiet", 'q', &CliOptions::Quiet, "no progress or notes on stderr (errors still)"},
      {"list", 'l', &CliOptions::List, "list the disks and volumes SOURCE may name, and exit"},
      {"force", 'f', &CliOptions::Force, "write to DEST even when it lies on SOURCE's disk"},
      {"help", 'h', &CliOptions::Help, "show this help and exit"},
      {"version", 'V', &CliOptions::Version, "show the version and exit"},
  };
  return flags;
}

CliOptions CommandLine::Parse(const std::vector<std::string>& args) {
  CliOptions options;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);  // "-" alone is an operand too
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg[1] == '-') {
      const std::string name = arg.substr(2);
      if (name.find('=') != std::string::npos) {
        throw UsageError("option '--" + name.substr(0, name.find('=')) + "' takes no value");
      }
      bool known = false;
      for (const Flag& flag : Flags()) {
        if (name == flag.LongName) {
          options.*flag.Field = true;
          known = true;
        }
      }
      if (!known) throw UsageError("unknown option '" + arg + "'");
      continue;
    }
    // Short options, possibly bundled: -nq.
    for (std::size_t i = 1; i < arg.size(); ++i) {
      bool known = false;
      for (const Flag& flag : Flags()) {
        if (arg[i] == flag.ShortName) {
          options.*flag.Field = true;
          known = true;
        }
      }
      if (!known) throw UsageError(std::string("unknown option '-") + arg[i] + "'");
    }
  }
  if (options.Help || options.Version || options.List) return options;

  if (operands.empty()) throw UsageError("missing SOURCE and DEST");
  if (operands.size() > 2) throw UsageError("too many operands: '" + operands[2] + "'");
  options.Source = operands[0];
  if (options.Source.empty()) throw UsageError("SOURCE is empty");
  if (operands.size() == 2) {
    options.DestFolder = operands[1];
    if (options.DestFolder.empty()) throw UsageError("DEST is empty");
  } else if (!options.DryRun) {
    throw UsageError("missing DEST (only --dry-run may go without one)");
  }
  return options;
}

std::string CommandLine::HelpText(const std::string& programName) {
  std::string text;
  text += "Usage: " + programName + " [OPTIONS] SOURCE DEST\n";
  text += "       " + programName + " --dry-run [OPTIONS] SOURCE [DEST]\n";
  text += "       " + programName + " --list [--json]\n";
  text +=
      "\n"
      "Finds AVCHD camcorder video (.MTS, MPEG-2 transport stream in 192-byte packets) on\n"
      "SOURCE, a disk image file or a device path, whatever its file system says, and writes\n"
      "every unbroken stretch of it as DEST/<index>.MTS. DEST is created if it is missing.\n"
      "Then it puts each recording back together from its pieces, wherever they lie, and\n"
      "writes it whole as DEST/clips/\"YYYY-MM-DD HH-MM-SS.MTS\" by its recording date (the\n"
      "file dated so too), or DEST/clips/<n>.MTS, numbered in the order they begin on SOURCE,\n"
      "when it has none; one that a DEST/<index>.MTS holds exactly is a hard link to it where\n"
      "DEST's file system has them.\n"
      "SOURCE is only ever opened for reading. It may also be a name from --list: PhysicalDriveN\n"
      "for a whole disk, Exx or a letter and a colon (E:) for a volume. DEST is refused when it lies\n"
      "on the disk or volume being recovered, or in a mounted image that is SOURCE, unless\n"
      "--force is given. No file is ever written that is SOURCE or the file behind it, --force\n"
      "or not. Each file is written as <name>.part and renamed when whole.\n"
      "With --thumbnails, a picture of each recording (and of each numbered file that shows one)\n"
      "is written as DEST/thumbnails/<its path>.jpg after the run, and DEST/index.html shows them\n"
      "all with their dates, lengths and sizes in the order recorded; a recording that cannot be\n"
      "decoded gets a plain grey picture and a note.\n"
      "\n"
      "Options:\n";
  for (const Flag& flag : Flags()) {
    char line[160];
    if (flag.ShortName != '\0') {
      std::snprintf(line, sizeof line, "  -%c, --%-10s %s\n", flag.ShortName, flag.LongName, flag.Help);
    } else {
      std::snprintf(line, sizeof line, "      --%-10s %s\n", flag.LongName, flag.Help);
    }
    text += line;
  }
  text +=
      "\n"
      "Progress (percent, bytes read, MB/s, time left, fragments found) is drawn on stderr when it\n"
      "is a terminal. Ctrl-C stops the reading: what was found so far is still written (during\n"
      "the export it is noted and the export finishes). A second Ctrl-C gives up the writing at\n"
      "once, removes the file cut short and still reports what was written; a third ends the\n"
      "program at once.\n"
      "\n"
      "Exit status:\n"
      "  0  success: every fragment long enough was written (or listed, with --dry-run)\n"
      "  1  usage error\n"
      "  2  the source could not be opened, measured or read at all, or is no file or disk\n"
      "     (a pipe, /dev/zero), or DEST could not be created, lies on the source (without\n"
      "     --force) or holds a file that is the source (always)\n"
      "  3  an output file could not be created or written (files written before it stay), or\n"
      "     the source shrank or went away during the run (the entries it lost failed)\n"
      "  4  interrupted: Ctrl-C ended the reading early; what was found was written (after a\n"
      "     second Ctrl-C only the files listed as written)\n";
  return text;
}

std::string CommandLine::VersionText(const std::string& programName) {
  std::string text = programName + " " MTSRESCUE_VERSION "\n"
                     "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
                     "This is free software: you are free to change and redistribute it.\n"
                     "There is NO WARRANTY, to the extent permitted by law.\n";
  const std::string decoder = FrameDecoder::LibraryVersion();
  text += decoder.empty() ? "Pictures of the recordings: none (built without FFmpeg).\n"
                          : "Pictures of the recordings decoded with " + decoder + ", under the GNU LGPL 2.1 or later.\n";
  return text;
}

}  // namespace mtsrescue
