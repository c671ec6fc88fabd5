#include "TextFile.h"

#include <QStringDecoder>

#include <uchardet/uchardet.h>

#include <array>
#include <cstring>
#include <memory>

namespace TextFile {
namespace {

constexpr qsizetype kSureNonAsciiBytes = 64; // fewer non-ASCII bytes: a detector only guesses
constexpr qsizetype kSampleBytes = 256 * 1024;
constexpr qsizetype kControlSampleBytes = 64 * 1024;
// A short text is shown to the detector several times over, up to this many non-ASCII bytes:
// its frequency tables say nothing about a handful of characters.
constexpr qsizetype kRepeatedNonAsciiBytes = 256;
constexpr qsizetype kMostRepeatedBytes = 4096;

const QByteArray kGb = QByteArrayLiteral("GB18030");

struct UchardetDeleter
{
    void operator()(uchardet_t detector) const { uchardet_delete(detector); }
};

QByteArray bomCharset(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    // UTF-32LE's mark begins as UTF-16LE's does.
    if (bytes.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)))
        return "UTF-32LE";
    if (bytes.startsWith(QByteArrayView("\0\0\xFE\xFF", 4)))
        return "UTF-32BE";
    if (bytes.startsWith("\xFF\xFE"))
        return "UTF-16LE";
    if (bytes.startsWith("\xFE\xFF"))
        return "UTF-16BE";
    return {};
}

qsizetype nonAsciiBytes(QByteArrayView bytes)
{
    qsizetype count = 0;
    for (const char c : bytes)
        count += static_cast<uchar>(c) >= 0x80;
    return count;
}

char32_t codePointAt(QStringView text, qsizetype& i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        ++i;
        return QChar::surrogateToUcs4(c, text[i]);
    }
    return c.unicode();
}

// Characters that no text holds: controls other than the white space and the escapes and shifts
// of ISO-2022, code points Unicode leaves unassigned, private use, replacement characters.
bool isJunk(char32_t c)
{
    if (c < 0x20)
        return c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x1B;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_NotAssigned:
    case QChar::Other_PrivateUse:
    case QChar::Other_Surrogate:
        return true;
    default:
        return c == QChar::ReplacementCharacter;
    }
}

// UTF-16 or UTF-32 read without a mark must be text: at most one character in ten junk.
bool readsAsText(QByteArrayView bytes, const char* charset)
{
    QStringDecoder decoder(charset, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes.first(std::min(bytes.size(), kSampleBytes) & ~3));
    if (decoder.hasError() || text.isEmpty())
        return false;
    qsizetype junk = 0, count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count)
        junk += isJunk(codePointAt(text, i));
    return junk * 10 <= count;
}

// UTF-32 without a byte-order mark: every unit a code point, none of them NUL.
QByteArray utf32WithoutBom(QByteArrayView bytes)
{
    if (bytes.size() % 4 != 0)
        return {};
    const qsizetype n = std::min<qsizetype>(bytes.size(), 4096);
    if (n < 8)
        return {};
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    bool le = true, be = true;
    for (qsizetype i = 0; i < n && (le || be); i += 4) {
        le = le && p[i + 3] == 0 && p[i + 2] <= 0x10 && (p[i] | p[i + 1] | p[i + 2]) != 0;
        be = be && p[i] == 0 && p[i + 1] <= 0x10 && (p[i + 1] | p[i + 2] | p[i + 3]) != 0;
    }
    if (le && readsAsText(bytes, "UTF-32LE"))
        return "UTF-32LE";
    if (be && readsAsText(bytes, "UTF-32BE"))
        return "UTF-32BE";
    return {};
}

// UTF-16 without a byte-order mark: text with many zero bytes, nearly all on one side.
QByteArray utf16WithoutBom(QByteArrayView bytes)
{
    const qsizetype n = std::min<qsizetype>(bytes.size(), 4096) & ~qsizetype(1);
    if (n < 4)
        return {};
    qsizetype evenZeros = 0, oddZeros = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        evenZeros += bytes[i] == 0;
        oddZeros += bytes[i + 1] == 0;
    }
    const qsizetype pairs = n / 2;
    if (oddZeros * 10 >= pairs * 3 && evenZeros * 20 < pairs && readsAsText(bytes, "UTF-16LE"))
        return "UTF-16LE";
    if (evenZeros * 10 >= pairs * 3 && oddZeros * 20 < pairs && readsAsText(bytes, "UTF-16BE"))
        return "UTF-16BE";
    return {};
}

// A byte that no text in an 8-bit or multi-byte charset holds. Tab, the line ends, vertical tab
// and form feed are text; so are ESC, SO and SI (ISO-2022 switches with them) and SUB (DOS ends
// files with it); VISCII's six letters among the controls are too few to matter.
bool isStrayControl(uchar c)
{
    if (c == 0x7F)
        return true;
    if (c >= 0x20)
        return false;
    return c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x0E &&
           c != 0x0F && c != 0x1A && c != 0x1B;
}

// Bytes with NUL in them (UTF-16 and UTF-32 were looked for first), or where more than a quarter
// of the first 64 KB are controls that text does not use: a program, a picture, a database.
bool isBinary(QByteArrayView bytes)
{
    if (std::memchr(bytes.data(), 0, size_t(bytes.size())) != nullptr)
        return true;
    const QByteArrayView sample = bytes.first(std::min(bytes.size(), kControlSampleBytes));
    qsizetype controls = 0;
    for (const char c : sample)
        controls += isStrayControl(static_cast<uchar>(c));
    return controls * 4 > sample.size();
}

QByteArray detectorCharset(QByteArrayView sample)
{
    std::unique_ptr<uchardet, UchardetDeleter> detector(uchardet_new());
    if (!detector)
        return {};
    uchardet_handle_data(detector.get(), sample.data(), size_t(sample.size()));
    uchardet_data_end(detector.get());
    return QByteArray(uchardet_get_charset(detector.get())).toUpper();
}

// The same short text several times, each on its own line.
QByteArray repeated(QByteArrayView bytes, qsizetype nonAscii)
{
    const qsizetype times = std::min<qsizetype>(64, (kRepeatedNonAsciiBytes + nonAscii - 1) /
                                                        std::max<qsizetype>(nonAscii, 1));
    QByteArray out;
    out.reserve((bytes.size() + 1) * times);
    for (qsizetype k = 0; k < times; ++k)
        out.append(bytes).append('\n');
    return out;
}

bool isGbLead(uchar c)
{
    return c >= 0x81 && c <= 0xFE;
}

bool isGbTrail(uchar c)
{
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

bool isGbFourByte(const uchar* p, qsizetype left)
{
    return left >= 4 && isGbLead(p[0]) && p[1] >= 0x30 && p[1] <= 0x39 && isGbLead(p[2]) &&
           p[3] >= 0x30 && p[3] <= 0x39;
}

// What the bytes are when read as GBK (CP936, GB18030 beyond it).
struct GbShape
{
    bool valid = true;    // ASCII, the euro sign 0x80 and whole GBK / GB18030 characters only
    qsizetype pairs = 0;  // two-byte characters
    qsizetype common = 0; // of them in GB2312: its rows of symbols and of Hanzi, bytes A1-FE
    qsizetype hanzi = 0;  // of them Hanzi (rows B0-F7)
    qsizetype level1 = 0; // of them the 3755 common Hanzi (rows B0-D7)
    qsizetype kana = 0;   // of them kana (rows A4, A5), which Japanese EUC-JP shares
    qsizetype fourByte = 0;

    // Chinese beyond doubt: all of it GB2312's common characters, some Hanzi, no kana. Western
    // text never reads so (an accented letter before an ASCII one, or a space, makes a pair
    // outside GB2312 or none at all).
    bool chinese() const
    {
        return valid && hanzi > 0 && kana == 0 && common == pairs && fourByte == 0;
    }
};

GbShape gbShape(QByteArrayView bytes)
{
    GbShape shape;
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar c = p[i];
        if (c <= 0x80) {
            ++i;
            continue;
        }
        if (isGbFourByte(p + i, n - i)) {
            ++shape.fourByte;
            i += 4;
            continue;
        }
        if (!isGbLead(c) || i + 1 >= n || !isGbTrail(p[i + 1])) {
            shape.valid = false;
            return shape;
        }
        const uchar t = p[i + 1];
        ++shape.pairs;
        if (t >= 0xA1) {
            const bool symbols = (c >= 0xA1 && c <= 0xA3) || (c >= 0xA6 && c <= 0xA9);
            const bool hanzi = c >= 0xB0 && c <= 0xF7 && !(c == 0xD7 && t >= 0xFA);
            const bool kana = c == 0xA4 || c == 0xA5;
            shape.common += symbols || hanzi || kana;
            shape.hanzi += hanzi;
            shape.level1 += hanzi && c <= 0xD7;
            shape.kana += kana;
        }
        i += 2;
    }
    return shape;
}

// Whether the UTF-8 reading of some bytes is clearly not what anyone writes: a character Unicode
// leaves unassigned (or a private-use or control one), a combining mark that follows no plain
// letter (text in decomposed form puts marks on ASCII letters, and stacks them), an IPA letter,
// or letters of two scripts other than ASCII's (Cyrillic with Greek, accented Latin with Hebrew).
// GBK Hanzi read as UTF-8 give just that: 停业 (CD A3 D2 B5) reads as U+0363, a combining mark
// with nothing before it, and U+04B5, a Cyrillic letter; 前台 as U+01F0 with an ogonek on it.
bool utf8ReadsAsNonsense(QStringView text)
{
    QChar::Script script = QChar::Script_Unknown;
    bool markable = false; // the last character takes a combining mark
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = codePointAt(text, i);
        if (c < 0x80) {
            markable = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            continue;
        }
        if (isJunk(c) || (c >= 0x250 && c <= 0x2AF))
            return true;
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
            category == QChar::Mark_Enclosing) {
            if (!markable)
                return true;
            continue;
        }
        markable = false;
        if (!QChar::isLetter(c))
            continue;
        const QChar::Script s = QChar::script(c);
        if (s == QChar::Script_Common || s == QChar::Script_Inherited)
            continue;
        if (script == QChar::Script_Unknown)
            script = s;
        else if (script != s)
            return true;
    }
    return false;
}

// GBK that happens to be valid UTF-8 (rare: it takes Hanzi whose bytes fall just so, and only
// short texts manage it). The GBK reading must be beyond doubt Chinese and the UTF-8 reading
// nonsense; any doubt leaves UTF-8, which is what valid UTF-8 nearly always is.
bool gbkPosingAsUtf8(QByteArrayView bytes, qsizetype nonAscii)
{
    const GbShape gb = gbShape(bytes);
    if (nonAscii >= kSureNonAsciiBytes || !gb.chinese() || gb.level1 * 2 < gb.hanzi)
        return false;
    return utf8ReadsAsNonsense(QString::fromUtf8(bytes));
}

bool isGbFamily(const QByteArray& charset)
{
    return charset == "GB18030" || charset == "GB2312" || charset == "GBK" || charset == "EUC-CN";
}

// The code pages Qt has no codec for, 0x80..0xFF (and VISCII's six letters among the controls).
constexpr std::array<char16_t, 128> kIso8859_16 = {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087, 0x0088, 0x0089, 0x008A, 0x008B,
    0x008C, 0x008D, 0x008E, 0x008F, 0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097,
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F, 0x00A0, 0x0104, 0x0105, 0x0141,
    0x20AC, 0x201E, 0x0160, 0x00A7, 0x0161, 0x00A9, 0x0218, 0x00AB, 0x0179, 0x00AD, 0x017A, 0x017B,
    0x00B0, 0x00B1, 0x010C, 0x0142, 0x017D, 0x201D, 0x00B6, 0x00B7, 0x017E, 0x010D, 0x0219, 0x00BB,
    0x0152, 0x0153, 0x0178, 0x017C, 0x00C0, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0106, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x0110, 0x0143, 0x00D2, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x015A, 0x0170, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0118, 0x021A, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x0107, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x0111, 0x0144, 0x00F2, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x015B,
    0x0171, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0119, 0x021B, 0x00FF};

constexpr std::array<char16_t, 128> kViscii = {
    0x1EA0, 0x1EAE, 0x1EB0, 0x1EB6, 0x1EA4, 0x1EA6, 0x1EA8, 0x1EAC, 0x1EBC, 0x1EB8, 0x1EBE, 0x1EC0,
    0x1EC2, 0x1EC4, 0x1EC6, 0x1ED0, 0x1ED2, 0x1ED4, 0x1ED6, 0x1ED8, 0x1EE2, 0x1EDA, 0x1EDC, 0x1EDE,
    0x1ECA, 0x1ECE, 0x1ECC, 0x1EC8, 0x1EE6, 0x0168, 0x1EE4, 0x1EF2, 0x00D5, 0x1EAF, 0x1EB1, 0x1EB7,
    0x1EA5, 0x1EA7, 0x1EA9, 0x1EAD, 0x1EBD, 0x1EB9, 0x1EBF, 0x1EC1, 0x1EC3, 0x1EC5, 0x1EC7, 0x1ED1,
    0x1ED3, 0x1ED5, 0x1ED7, 0x1EE0, 0x01A0, 0x1ED9, 0x1EDD, 0x1EDF, 0x1ECB, 0x1EF0, 0x1EE8, 0x1EEA,
    0x1EEC, 0x01A1, 0x1EDB, 0x01AF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x1EA2, 0x0102, 0x1EB3, 0x1EB5,
    0x00C8, 0x00C9, 0x00CA, 0x1EBA, 0x00CC, 0x00CD, 0x0128, 0x1EF3, 0x0110, 0x1EE9, 0x00D2, 0x00D3,
    0x00D4, 0x1EA1, 0x1EF7, 0x1EEB, 0x1EED, 0x00D9, 0x00DA, 0x1EF9, 0x1EF5, 0x00DD, 0x1EE1, 0x01B0,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x1EA3, 0x0103, 0x1EEF, 0x1EAB, 0x00E8, 0x00E9, 0x00EA, 0x1EBB,
    0x00EC, 0x00ED, 0x0129, 0x1EC9, 0x0111, 0x1EF1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x1ECF, 0x1ECD,
    0x1EE5, 0x00F9, 0x00FA, 0x0169, 0x1EE7, 0x00FD, 0x1EE3, 0x1EEE};

char16_t visciiControl(uchar c)
{
    switch (c) {
    case 0x02:
        return 0x1EB2;
    case 0x05:
        return 0x1EB4;
    case 0x06:
        return 0x1EAA;
    case 0x14:
        return 0x1EF6;
    case 0x19:
        return 0x1EF8;
    case 0x1E:
        return 0x1EF4;
    default:
        return c;
    }
}

QString decodeWithTable(QByteArrayView bytes, const std::array<char16_t, 128>& high, bool viscii)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char b : bytes) {
        const auto c = static_cast<uchar>(b);
        *out++ = c >= 0x80 ? high[c - 0x80] : viscii ? visciiControl(c) : char16_t(c);
    }
    return text;
}

// GBK as Windows writes it: GB18030 (which reads all of CP936 and more) but for 0x80, the euro
// sign of CP936 that GB18030 does not have. Decoded in runs between the euro signs.
QString decodeGb(QByteArrayView bytes)
{
    QStringDecoder decoder(kGb.constData(), QStringConverter::Flag::Stateless);
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    QString text;
    qsizetype start = 0;
    for (qsizetype i = 0; i < n;) {
        const uchar c = p[i];
        if (c < 0x80) {
            ++i;
        } else if (c == 0x80) {
            if (text.isEmpty())
                text.reserve(n);
            text += decoder.decode(bytes.sliced(start, i - start));
            text += QChar(0x20AC);
            start = ++i;
        } else if (isGbFourByte(p + i, n - i)) {
            i += 4;
        } else {
            i += isGbLead(c) && i + 1 < n && isGbTrail(p[i + 1]) ? 2 : 1;
        }
    }
    if (start == 0)
        return decoder.decode(bytes);
    text += decoder.decode(bytes.sliced(start));
    return text;
}

// The codec for a name the detector gives (upper case), as Qt (through ICU) and the tables here
// know it; empty for a name nothing reads. Where a charset has a superset that its files are in
// practice written in, the superset reads them, as browsers do (WHATWG's encoding labels):
// ISO-8859-1 as windows-1252, EUC-KR as CP949 (Windows' UHC), TIS-620 as windows-874.
QByteArray codecFor(const QByteArray& detected)
{
    struct Name
    {
        const char* detected;
        const char* codec;
    };
    static constexpr Name kNames[] = {
        {"ASCII", "US-ASCII"},
        {"GB18030", "GB18030"},
        {"GB2312", "GB18030"},
        {"GBK", "GB18030"},
        {"EUC-CN", "GB18030"},
        {"BIG5", "Big5"},
        {"SHIFT_JIS", "Shift_JIS"},
        {"EUC-KR", "windows-949"},
        {"UHC", "windows-949"},
        {"CP949", "windows-949"},
        {"ISO-8859-1", "windows-1252"},
        {"ISO-8859-9", "windows-1254"},
        {"ISO-8859-11", "windows-874"},
        {"TIS-620", "windows-874"},
        {"MAC-CENTRALEUROPE", "x-mac-centraleurroman"},
        {"MAC-CYRILLIC", "x-mac-cyrillic"},
        {"ISO-8859-16", "ISO-8859-16"},
        {"VISCII", "VISCII"},
    };
    for (const Name& name : kNames)
        if (detected == name.detected)
            return name.codec;
    if (detected.isEmpty())
        return {};
    QByteArray codec = detected;
    if (codec.startsWith("WINDOWS-"))
        codec = "windows-" + codec.mid(8);
    return QStringDecoder(codec.constData()).isValid() ? codec : QByteArray();
}

// Every non-ASCII character a letter: words, not the symbols GBK's bytes make in a code page.
bool readsAsWords(QByteArrayView bytes, const QByteArray& codec)
{
    const QString text = decode(bytes, codec);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = codePointAt(text, i);
        if (c >= 0x80 && !QChar::isLetter(c))
            return false;
    }
    return true;
}

// The detector knows EUC-KR's Hangul but gives up at the further Hangul of Windows' CP949 (lead
// 81-C6, trail A-Z, a-z or 81-A0: 똠 is 8C 63). Those are blanked for a second look, when the
// bytes read as CP949 and hold some.
QByteArray withoutCp949Extensions(QByteArrayView bytes)
{
    QByteArray out(bytes.data(), bytes.size());
    bool found = false;
    for (qsizetype i = 0; i + 1 < out.size(); ++i) {
        const auto c = static_cast<uchar>(out[i]);
        const auto t = static_cast<uchar>(out[i + 1]);
        if (c < 0x80)
            continue;
        if (c >= 0x81 && c <= 0xC6 &&
            ((t >= 'A' && t <= 'Z') || (t >= 'a' && t <= 'z') || (t >= 0x81 && t <= 0xA0))) {
            out[i] = out[i + 1] = ' ';
            found = true;
        }
        ++i;
    }
    return found ? out : QByteArray();
}

bool isKorean(const QByteArray& codec)
{
    return codec == "windows-949" || codec == "ISO-2022-KR";
}

bool isSingleByte(const QByteArray& codec)
{
    return codec.startsWith("windows-12") || codec.startsWith("ISO-8859-") ||
           codec.startsWith("KOI8") || codec.startsWith("IBM8") || codec.startsWith("x-mac-") ||
           codec == "windows-874" || codec == "VISCII";
}

// More than half the non-ASCII bytes stand alone between ASCII ones: accented letters in
// Western words, not the runs of two-byte characters of Chinese, Japanese or Korean.
bool hasWesternShape(QByteArrayView bytes, qsizetype nonAscii)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype alone = 0;
    for (qsizetype i = 0; i < n; ++i)
        alone += p[i] >= 0x80 && (i == 0 || p[i - 1] < 0x80) && (i + 1 == n || p[i + 1] < 0x80);
    return alone * 2 > nonAscii;
}

bool decodesCleanly(QByteArrayView bytes, const QByteArray& codec)
{
    if (codec == kGb)
        return gbShape(bytes).valid;
    if (codec == "ISO-8859-16" || codec == "VISCII")
        return true;
    QStringDecoder decoder(codec.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return false;
    const QString text = decoder.decode(bytes);
    return !decoder.hasError() && !text.contains(QChar::ReplacementCharacter);
}

// How much a short Western text reads as words in a code page: a point for each non-ASCII letter,
// two off for each control or unassigned character.
int latinScore(QByteArrayView bytes, const QByteArray& codec)
{
    const QString text = decode(bytes, codec);
    int score = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = codePointAt(text, i);
        if (c < 0x80)
            continue;
        if (isJunk(c))
            score -= 2;
        else if (QChar::isLetter(c))
            ++score;
    }
    return score;
}

// Latin-1 and Latin-2 look alike to the detector in a few words (Polish "Zażółć" in ISO-8859-2
// reads as "Za¿ó³æ" in windows-1252): among the common Western code pages the one that reads more
// of the bytes as letters wins, the detector's on a tie.
QByteArray likeliestLatin(QByteArrayView bytes, const QByteArray& detected)
{
    QByteArray best = detected;
    int bestScore = latinScore(bytes, detected);
    for (const char* other : {"windows-1252", "ISO-8859-2", "windows-1250"}) {
        if (detected == other)
            continue;
        const int score = latinScore(bytes, other);
        if (score > bestScore) {
            best = other;
            bestScore = score;
        }
    }
    return best;
}

bool isLatin(const QByteArray& codec)
{
    return codec == "windows-1252" || codec == "windows-1250" || codec == "windows-1254" ||
           codec == "windows-1257" || codec == "x-mac-centraleurroman" || codec == "IBM852" ||
           (codec.startsWith("ISO-8859-") && codec != "ISO-8859-5" && codec != "ISO-8859-6" &&
            codec != "ISO-8859-7" && codec != "ISO-8859-8" && codec != "ISO-8859-11");
}

// Neither ASCII nor UTF-8: the detector names the charset.
QByteArray legacyCharset(QByteArrayView bytes, qsizetype nonAscii)
{
    const QByteArrayView sample = bytes.first(std::min(bytes.size(), kSampleBytes));
    const QByteArray detected = detectorCharset(sample);
    if (nonAscii >= kSureNonAsciiBytes) {
        // The detector had plenty to go on.
        if (isGbFamily(detected))
            return kGb;
        if (const QByteArray codec = codecFor(detected); !codec.isEmpty())
            return codec;
        return gbShape(sample).valid ? kGb : QByteArray("windows-1252");
    }
    // A short text: the detector guesses, and better from the text shown several times over.
    const QByteArray again =
        bytes.size() <= kMostRepeatedBytes ? detectorCharset(repeated(bytes, nonAscii)) : detected;
    const GbShape gb = gbShape(bytes);
    if (isGbFamily(again) && gb.valid && !hasWesternShape(bytes, nonAscii))
        return kGb;
    QByteArray codec = codecFor(again);
    const bool western = hasWesternShape(bytes, nonAscii);
    if (!western && !isKorean(codec) && decodesCleanly(bytes, "windows-949")) {
        if (const QByteArray blanked = withoutCp949Extensions(bytes); !blanked.isEmpty()) {
            const qsizetype left = nonAsciiBytes(blanked);
            if (left > 0 && isKorean(codecFor(detectorCharset(repeated(blanked, left)))))
                codec = "windows-949";
        }
    }
    if (!western && isKorean(codec) && decodesCleanly(bytes, codec))
        return codec;
    // Bytes that read as common Chinese in GBK are GBK, unless the detector named a code page
    // in which they are all letters and the Hanzi would be mostly rare ones (Greek "Έξοδος" in
    // ISO-8859-7, German "Größe" in windows-1252, all lowercase letters above 0xE0).
    if (gb.chinese()) {
        const QByteArray single = isSingleByte(codec) ? codec : codecFor(detected);
        const bool words = isSingleByte(single) && readsAsWords(bytes, single);
        if (!words || gb.level1 * 2 >= gb.hanzi)
            return kGb;
    }
    // Accented letters alone between ASCII ones are Western whatever the detector says.
    for (const QByteArray& candidate : {codec, codecFor(detected)}) {
        if (candidate.isEmpty() || candidate == "US-ASCII" || (western && !isSingleByte(candidate)))
            continue;
        if (!decodesCleanly(bytes, candidate))
            continue;
        return isLatin(candidate) ? likeliestLatin(bytes, candidate) : candidate;
    }
    if (!western && gb.valid)
        return kGb;
    return likeliestLatin(bytes, "windows-1252");
}

// ISO-2022 and HZ are written in ASCII bytes: escapes (ESC $, ESC () and HZ's ~{.
bool mayBeSevenBitCjk(QByteArrayView bytes)
{
    return bytes.contains("\x1B$") || bytes.contains("\x1B(") || bytes.contains("~{");
}

} // namespace

QByteArray detectCharset(QByteArrayView bytes)
{
    if (const QByteArray bom = bomCharset(bytes); !bom.isEmpty())
        return bom;
    if (const QByteArray wide = utf32WithoutBom(bytes); !wide.isEmpty())
        return wide;
    if (const QByteArray wide = utf16WithoutBom(bytes); !wide.isEmpty())
        return wide;
    if (isBinary(bytes))
        return {};
    const qsizetype nonAscii = nonAsciiBytes(bytes);
    if (nonAscii == 0) {
        if (mayBeSevenBitCjk(bytes)) {
            const QByteArray detected =
                detectorCharset(bytes.first(std::min(bytes.size(), kSampleBytes)));
            if (detected.startsWith("ISO-2022-") || detected == "HZ-GB-2312")
                return detected;
        }
        return "US-ASCII";
    }
    if (looksLikeUtf8(bytes))
        return gbkPosingAsUtf8(bytes, nonAscii) ? kGb : QByteArray("UTF-8");
    return legacyCharset(bytes, nonAscii);
}

bool looksLikeUtf8(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return true;
    bool nonAscii = false;
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        int more;
        char32_t min;
        if ((c & 0xE0) == 0xC0) {
            more = 1;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            min = 0x10000;
        } else {
            return false;
        }
        char32_t cp = c & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += more + 1;
    }
    return nonAscii;
}

QString decode(QByteArrayView bytes, const QByteArray& charset)
{
    if (charset.isEmpty())
        return {};
    if (charset == "US-ASCII")
        return QString::fromLatin1(bytes);
    QString text;
    if (charset == kGb) {
        text = decodeGb(bytes);
    } else if (charset == "ISO-8859-16") {
        text = decodeWithTable(bytes, kIso8859_16, false);
    } else if (charset == "VISCII") {
        text = decodeWithTable(bytes, kViscii, true);
    } else {
        QStringDecoder decoder(charset.constData(), QStringConverter::Flag::Stateless);
        text = decoder.isValid() ? QString(decoder.decode(bytes)) : decodeGb(bytes);
    }
    // The decoder drops a byte-order mark of its own charset, not always.
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QString decode(QByteArrayView bytes)
{
    return decode(bytes, detectCharset(bytes));
}

QStringList splitLines(const QString& text)
{
    QStringList result;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        result.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        result.append(text.mid(start));
    return result;
}

QStringList lines(QByteArrayView bytes)
{
    return splitLines(decode(bytes));
}

} // namespace TextFile
