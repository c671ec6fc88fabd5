#pragma once

#include <QByteArray>

// The text codecs behind the numbers RTF and Windows metafiles name a font's characters by.
namespace RtfCharsets {

// A Windows code page (\ansicpg, \cpg): its codec's name.
QByteArray encodingForCodePage(int codePage);
// A font's character set (\fcharset, a LOGFONT's lfCharSet): its codec's name, or empty for
// the default set (1) and numbers no codec stands for, which take the document's code page.
QByteArray encodingForCharset(int charset);

} // namespace RtfCharsets
