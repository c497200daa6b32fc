// User text in GBK (code page 936): its bytes, their count, and their percent-encoded form for a query value.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace mtsrescue {

// The GBK bytes of text. A character GBK cannot hold becomes one "?", as the system's own
// conversion to code page 936 does; a Qt built without GBK falls back to the system code page.
QByteArray GbkBytes(const QString& text);

// The byte count of GbkBytes(text): one Chinese character counts 2, "\r\n" counts 2.
std::int64_t GbkLength(const QString& text);

// GbkBytes(text) with every byte but A-Z a-z 0-9 - . _ ~ written as %XX (upper-case hex),
// so that no "&", "=", "#", "+", "%", blank or line break can add, drop or split query keys.
QByteArray GbkQueryValue(const QString& text);

}  // namespace mtsrescue
