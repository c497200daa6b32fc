// The values of one support request and the address that carries them to the vendor's service.
#pragma once

#include <QString>
#include <QUrl>

namespace mtsrescue {

// Each value is plain text; SupportRequestUrl turns it into GBK and escapes it.
struct SupportRequest {
  QString ProgramName;  // pname: the executable's base name
  QString CustName;     // custname: the user's name
  QString Kind;         // fkind: request text of the first ticked kind box, or empty
  QString Medium;       // skind: request text of the first ticked medium box, or empty
  QString Memo;         // memo: the note, lines joined by "\r\n"
  QString Qq;           // qq: the QQ number, may be empty
  QString Tel;          // tel: the telephone number
};

// "http://<host>:<port>/index.php?pname=…&custname=…&fkind=…&skind=…&memo=…&qq=…&tel=…":
// every key present in this order even when its value is empty, every value as GbkQueryValue.
QUrl SupportRequestUrl(const QString& host, int port, const SupportRequest& request);

}  // namespace mtsrescue
