// TUDisks2Client: reading the service's managed objects and asking it for a descriptor.
#include "ui/udisks2/UDisks2Client.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QMap>
#include <QVariantMap>

namespace mtsrescue {
namespace {

const QString Service = QStringLiteral("org.freedesktop.UDisks2");
const QString ManagerPath = QStringLiteral("/org/freedesktop/UDisks2");
const QString BlockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString PartitionInterface = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString FilesystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString DriveInterface = QStringLiteral("org.freedesktop.UDisks2.Drive");

using Interfaces = QMap<QString, QVariantMap>;

// Byte-string properties end in a zero byte.
std::string FromBytes(QByteArray bytes) {
  while (bytes.endsWith('\0')) bytes.chop(1);
  return bytes.toStdString();
}

std::string Text(const QVariantMap& properties, const char* name) {
  return properties.value(QString::fromLatin1(name)).toString().toStdString();
}

std::vector<std::string> MountPoints(const QVariant& value) {
  std::vector<std::string> points;
  if (!value.canConvert<QDBusArgument>()) return points;
  const QDBusArgument array = value.value<QDBusArgument>();
  array.beginArray();
  while (!array.atEnd()) {
    QByteArray point;
    array >> point;
    points.push_back(FromBytes(point));
  }
  array.endArray();
  return points;
}

std::string DescribeError(const QDBusMessage& reply) {
  const std::string message = reply.errorMessage().toStdString();
  return message.empty() ? reply.errorName().toStdString() : message;
}

// No bus, or nobody owns the service's name: the service is not there, as against a refusal.
bool ServiceAbsent(const QDBusMessage& reply) {
  const QString name = reply.errorName();
  return name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
         name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
         name == QLatin1String("org.freedesktop.DBus.Error.Disconnected") ||
         name == QLatin1String("org.freedesktop.DBus.Error.NoServer");
}

}  // namespace

UDisks2Listing TUDisks2Client::ListBlocks() const {
  UDisks2Listing listing;
  if (!connection_.isConnected()) {
    listing.WhyNot = "no system bus";
    return listing;
  }
  const QDBusMessage call = QDBusMessage::createMethodCall(Service, ManagerPath, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                           QStringLiteral("GetManagedObjects"));
  const QDBusMessage reply = connection_.call(call, QDBus::Block, ListTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    listing.WhyNot = reply.type() == QDBusMessage::ErrorMessage ? DescribeError(reply) : "no answer";
    return listing;
  }
  QMap<QDBusObjectPath, Interfaces> objects;
  reply.arguments().constFirst().value<QDBusArgument>() >> objects;

  for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
    const QVariantMap block = object.value().value(BlockInterface);
    if (!object.value().contains(BlockInterface)) continue;
    UDisks2Block b;
    b.ObjectPath = object.key().path();
    b.Device = FromBytes(block.value(QStringLiteral("Device")).toByteArray());
    b.SizeBytes = static_cast<std::int64_t>(block.value(QStringLiteral("Size")).toULongLong());
    b.HintIgnore = block.value(QStringLiteral("HintIgnore")).toBool();
    b.IdUsage = Text(block, "IdUsage");
    b.IdType = Text(block, "IdType");
    b.IdLabel = Text(block, "IdLabel");
    b.IdUuid = Text(block, "IdUUID");
    if (object.value().contains(PartitionInterface)) {
      const QVariantMap partition = object.value().value(PartitionInterface);
      b.IsPartition = true;
      b.PartitionTable = partition.value(QStringLiteral("Table")).value<QDBusObjectPath>().path();
      b.PartitionOffsetBytes = static_cast<std::int64_t>(partition.value(QStringLiteral("Offset")).toULongLong());
    }
    if (object.value().contains(FilesystemInterface))
      b.MountPoints = MountPoints(object.value().value(FilesystemInterface).value(QStringLiteral("MountPoints")));
    const QDBusObjectPath drivePath = block.value(QStringLiteral("Drive")).value<QDBusObjectPath>();
    const auto drive = objects.constFind(drivePath);
    if (drive != objects.cend() && drive.value().contains(DriveInterface)) {
      const QVariantMap d = drive.value().value(DriveInterface);
      b.HasDrive = true;
      b.Vendor = Text(d, "Vendor");
      b.Model = Text(d, "Model");
      b.ConnectionBus = Text(d, "ConnectionBus");
      b.Removable = d.value(QStringLiteral("Removable")).toBool() || d.value(QStringLiteral("MediaRemovable")).toBool();
      b.Optical = d.value(QStringLiteral("Optical")).toBool();
    }
    listing.Blocks.push_back(std::move(b));
  }
  listing.Available = true;
  return listing;
}

UDisks2Open TUDisks2Client::OpenForBackup(const QString& objectPath, const std::string& device) const {
  UDisks2Open result;
  if (!connection_.isConnected()) {
    result.Absent = true;
    result.WhyNot = "no system bus";
    return result;
  }
  if (!(connection_.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
    result.Absent = true;
    result.WhyNot = "the bus cannot hand over descriptors";
    return result;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(Service, objectPath, BlockInterface, QStringLiteral("OpenForBackup"));
  call << QVariantMap();
  // The service asks the desktop's password prompt only for a caller that allows it.
  call.setInteractiveAuthorizationAllowed(true);
  // Blocks without running the event loop: nothing else may happen in the window meanwhile.
  const QDBusMessage reply = connection_.call(call, QDBus::Block, PromptTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    result.Absent = ServiceAbsent(reply);
    result.WhyNot = reply.type() == QDBusMessage::ErrorMessage ? DescribeError(reply) : "no answer";
    return result;
  }
  const QDBusUnixFileDescriptor descriptor =
      reply.arguments().isEmpty() ? QDBusUnixFileDescriptor() : reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
  if (!descriptor.isValid()) {
    result.WhyNot = "it handed over no descriptor";
    return result;
  }
  try {
    result.Stream = DescriptorStream::CopyOf(descriptor.fileDescriptor(), device);
  } catch (const StreamError& e) {
    const std::string message = e.what();
    const std::string head = "Cannot open file \"" + device + "\". ";
    result.WhyNot = message.rfind(head, 0) == 0 ? message.substr(head.size()) : message;
  }
  return result;
}

}  // namespace mtsrescue
