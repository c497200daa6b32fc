// TUDisks2Client: the desktop's disk service (UDisks2) over D-Bus: its block devices and drives,
// and a read-only descriptor of one of them.
#pragma once

#include "platform/DescriptorStream.h"

#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mtsrescue {

// One block device (a disk, a partition, a loop device) with the facts of its drive.
struct UDisks2Block {
  QString ObjectPath;
  std::string Device;  // the device node, "/dev/sdb"
  std::int64_t SizeBytes = 0;
  bool HintIgnore = false;
  bool IsPartition = false;
  QString PartitionTable;  // object path of the block holding the partition table
  std::int64_t PartitionOffsetBytes = 0;
  std::string IdUsage;  // "filesystem", "partitiontable", ...
  std::string IdType;   // "vfat", "exfat", "ext4", ...
  std::string IdLabel;
  std::string IdUuid;
  std::vector<std::string> MountPoints;  // empty when not mounted
  // The drive; all empty or false for a block without one (loop devices).
  bool HasDrive = false;
  std::string Vendor;
  std::string Model;
  std::string ConnectionBus;  // "usb", "sdio", ...; empty for internal disks
  bool Removable = false;     // the drive or its medium can be removed
  bool Optical = false;
};

// The service's answer to a listing: its blocks, or why it gave none.
struct UDisks2Listing {
  bool Available = false;
  std::string WhyNot;  // when not available: "no system bus", the D-Bus error's text
  std::vector<UDisks2Block> Blocks;
};

// The service's answer to an open: a stream, or why there is none.
struct UDisks2Open {
  std::unique_ptr<DescriptorStream> Stream;
  bool Absent = false;  // no bus or no service, as against a refusal by the service
  std::string WhyNot;
};

class TUDisks2Client {
 public:
  // connection: the system bus in the program, a private bus in tests.
  explicit TUDisks2Client(QDBusConnection connection) : connection_(std::move(connection)) {}
  static TUDisks2Client System() { return TUDisks2Client(QDBusConnection::systemBus()); }

  // Gives up after ListTimeoutMs: a service that cannot be started (no systemd in a container)
  // leaves the call unanswered until D-Bus's own 25 s, with the window frozen meanwhile.
  UDisks2Listing ListBlocks() const;
  // org.freedesktop.UDisks2.Block.OpenForBackup on the block at objectPath: read-only by the
  // service's own contract, and refused here if the descriptor could write. The desktop's password
  // prompt may come first; the call waits for it up to PromptTimeoutMs. device names the stream.
  UDisks2Open OpenForBackup(const QString& objectPath, const std::string& device) const;

  static constexpr int PromptTimeoutMs = 5 * 60 * 1000;
  static constexpr int ListTimeoutMs = 1000;

 private:
  QDBusConnection connection_;
};

}  // namespace mtsrescue
