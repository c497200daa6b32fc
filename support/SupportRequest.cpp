// Building the support request's address.
#include "support/SupportRequest.h"

#include "support/GbkText.h"

#include <QByteArray>

namespace mtsrescue {

QUrl SupportRequestUrl(const QString& host, int port, const SupportRequest& request) {
  QByteArray address = "http://" + host.toUtf8() + ':' + QByteArray::number(port) + "/index.php";
  address += "?pname=" + GbkQueryValue(request.ProgramName);
  address += "&custname=" + GbkQueryValue(request.CustName);
  address += "&fkind=" + GbkQueryValue(request.Kind);
  address += "&skind=" + GbkQueryValue(request.Medium);
  address += "&memo=" + GbkQueryValue(request.Memo);
  address += "&qq=" + GbkQueryValue(request.Qq);
  address += "&tel=" + GbkQueryValue(request.Tel);
  // Strict: the escapes are already final and must reach the wire byte for byte.
  return QUrl::fromEncoded(address, QUrl::StrictMode);
}

}  // namespace mtsrescue
