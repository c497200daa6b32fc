// FailureText: the failure's kind picks the sentence, its system error the reason in it.
#include "ui/FailureText.h"

#include "platform/FileStream.h"

namespace mtsrescue {

namespace {

// The system errors a user can act on, in words; empty for the rest, whose system text follows.
QString Reason(const std::error_code& code) {
  if (code == std::errc::read_only_file_system) return QStringLiteral("该磁盘是只读的（或以只读方式挂载）");
  if (code == std::errc::permission_denied || code == std::errc::operation_not_permitted)
    return QStringLiteral("当前用户没有权限");
  if (code == std::errc::no_space_on_device) return QStringLiteral("磁盘已满");
  if (code == std::errc::file_too_large)
    return QStringLiteral("文件超过了该磁盘的文件系统允许的大小（例如 FAT32 上的单个文件不能超过 4 GB）");
  if (code == std::errc::no_such_file_or_directory) return QStringLiteral("该路径不存在");
  if (code == std::errc::no_such_device || code == std::errc::no_such_device_or_address)
    return QStringLiteral("设备不存在，或读卡器中没有存储卡");
  if (code == std::errc::device_or_resource_busy) return QStringLiteral("它正被其他程序占用");
  if (code == std::errc::not_a_directory || code == std::errc::file_exists)
    return QStringLiteral("该位置已有一个同名的文件");
  if (code == std::errc::io_error) return QStringLiteral("读写出错（设备可能已损坏或已被拔出）");
  return QString();
}

QString Quoted(const std::string& path) { return QStringLiteral("“%1”").arg(QString::fromStdString(path)); }

// "：<reason>" when the error is one with words, else nothing.
QString WithReason(const std::error_code& code) {
  const QString reason = Reason(code);
  return reason.isEmpty() ? QString() : QStringLiteral("：") + reason;
}

}  // namespace

QString FailureText(const FailureDetail& detail, const std::string& message) {
  const std::error_code& code = detail.Code;
  const QString path = Quoted(detail.Path);
  const QString chooseAnother = QStringLiteral("请另选保存路径。");
  const bool full = code == std::errc::no_space_on_device;
  const bool rights = code == std::errc::permission_denied || code == std::errc::operation_not_permitted;
  QString text;
  bool englishSaysMore = false;  // the core's message tells how the source was tried
  switch (detail.Kind) {
    case FailureKind::None:
      return QString();
    case FailureKind::SourceOpen:
      text = QStringLiteral("无法打开数据源 %1%2。").arg(path, WithReason(code));
      if (rights) text += QStringLiteral("读取整个磁盘需要相应的权限：请在系统询问时输入密码，或以有权限的用户运行本程序。");
      englishSaysMore = true;
      break;
    case FailureKind::SourceUnreadable:
      text = QStringLiteral("数据源 %1 的任何扇区都无法读取：存储卡可能已损坏，或读卡器中没有卡。").arg(path);
      break;
    case FailureKind::SourceShrank:
      text = QStringLiteral("数据源 %1 在恢复过程中变小或被移除了（例如存储卡被拔出或读卡器断开），"
                            "它此后的数据未能恢复。请重新插好后再恢复一次。")
                 .arg(path);
      englishSaysMore = true;
      break;
    case FailureKind::FolderCreate:
      text = QStringLiteral("无法创建保存目录 %1%2。").arg(path, WithReason(code)) + chooseAnother;
      break;
    case FailureKind::OutputCreate:
      text = QStringLiteral("无法在 %1 中写入文件%2。").arg(path, WithReason(code)) + chooseAnother;
      break;
    case FailureKind::OutputIsSource:
      text = QStringLiteral("%1 就是正在恢复的数据源（或它背后的镜像文件），在这里写入会毁掉要恢复的数据。").arg(path) +
             chooseAnother;
      break;
    case FailureKind::OutputWrite:
      text = full ? QStringLiteral("保存目录所在的磁盘已满，%1 没能写完。请腾出空间或另选保存路径后再恢复一次。").arg(path)
                  : QStringLiteral("写入 %1 失败%2。").arg(path, WithReason(code));
      break;
    case FailureKind::SpaceDeclined:
      text = QStringLiteral("保存目录 %1 所在的磁盘空间不足，按您的选择什么也没有写出。").arg(path);
      break;
    case FailureKind::Other:
      return QStringLiteral("恢复时出错：") + QString::fromStdString(message);
  }
  // The system's own words after the sentence, for the details and for a search; not where the
  // code only stands for the kind (no system call failed there).
  const bool ownCode = detail.Kind == FailureKind::OutputIsSource || detail.Kind == FailureKind::SpaceDeclined ||
                       detail.Kind == FailureKind::SourceUnreadable;
  if (englishSaysMore && !message.empty()) {
    text += QStringLiteral("\n\n详细信息：") + QString::fromStdString(message);
  } else if (code && !ownCode) {
    text += QStringLiteral("\n\n系统信息：") + QString::fromStdString(SystemErrorText(code));
  }
  return text;
}

}  // namespace mtsrescue
