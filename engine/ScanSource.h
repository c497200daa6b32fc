// The sector scan: reads a source block by block and collects its hit sectors.
#pragma once

#include "engine/HitList.h"
#include "engine/ReadBlock.h"
#include "engine/SourceReader.h"
#include "platform/ByteStream.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mtsrescue {

class FragmentWriter;
class RunObserver;

struct ScanOptions {
  // Fed every hit and every block read, and finished when the scan ends; then also the last
  // partial sector of the source is read, for the files (it is never tested).
  FragmentWriter* Writer = nullptr;
  MillisecondClock Clock;  // for the bad areas; the system's when empty
  // After each block; false ends the scan there (Stopped stays false).
  std::function<bool()> GoOn;
};

struct ScanReport {
  std::int64_t BytesRead = 0;          // bytes scanned before the end or the stop
  std::int64_t UnreadableSectors = 0;  // sectors that failed even when read one by one
  std::vector<UnreadableStretch> Unreadable;  // the same sectors, ascending, neighbours joined
  bool Stopped = false;                // ended by a stop request before the end of the source
  bool SourceEnded = false;            // the source ended before sourceLength: it shrank or went away
  bool SourceUnanswered = false;       // no read succeeded for SourceReader::GiveUpMilliseconds
  bool WriteFailed = false;            // the writer failed: nothing more could be written
  bool Declined = false;               // GoOn said no
  std::int64_t SkippedStretches = 0;   // bad areas gone round (see SourceReader)
  std::int64_t BadAreaMilliseconds = 0;  // spent finding their edges
};

// Scans sourceLength bytes of sourcePath (opened OpenMode::ReadShared) in BlockBytes blocks and
// appends every hit's byte offset to hits. A block that fails is read round its bad area (see
// SourceReader); sectors not read count as no hit. Throws StreamError when the source cannot be opened;
// then nothing is read and no hook is called. Otherwise ScanBegin comes first and ScanEnd last,
// however the scan ends. Each block: StopRequested(), then Pump(), then ScanProgress(). A block
// read round a bad area also asks StopRequested() before each of its reads and pumps at most every
// 20 ms; a stop seen there ends the scan inside the block (BytesRead then ends where it stopped).
// A source that comes back short before sourceLength (it shrank, a card was pulled) ends the
// scan after that block, with SourceEnded set: nothing past it could be read anyway. One that has
// answered no read for SourceReader::GiveUpMilliseconds ends it where it stands (SourceUnanswered).
ScanReport ScanSource(const std::string& sourcePath, std::int64_t sourceLength, HitList& hits,
                      RunObserver& observer, const StreamOpener& opener, const ScanOptions& options = {});

}  // namespace mtsrescue
