#include "RtfCharsets.h"

namespace RtfCharsets {

QByteArray encodingForCodePage(int codePage)
{
    switch (codePage) {
    case 936:
        return "GBK";
    case 950:
        return "Big5";
    case 932:
        return "Shift_JIS";
    case 949:
        return "windows-949";
    case 10000:
        return "macintosh";
    case 437:
        return "IBM437";
    case 65001:
        return "UTF-8";
    default:
        return "windows-" + QByteArray::number(codePage);
    }
}

QByteArray encodingForCharset(int charset)
{
    switch (charset) {
    case 0:
        return "windows-1252";
    case 2:
        return "windows-1252"; // symbol: best effort
    case 77:
        return "macintosh";
    case 128:
        return "Shift_JIS";
    case 129:
        return "windows-949";
    case 130:
        return "windows-1361";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 163:
        return "windows-1258";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 222:
        return "windows-874";
    case 238:
        return "windows-1250";
    case 255:
        return "IBM437";
    default:
        return {};
    }
}

} // namespace RtfCharsets
