#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The ANSI code page of stored strings and legacy text: GBK (CP936), as on the Chinese systems
// the LED PCs run. Characters that GBK cannot hold become '?', as the ANSI conversion does.
namespace Codepage {

QString toUnicode(QByteArrayView ansi);
QByteArray fromUnicode(QStringView text);

} // namespace Codepage
