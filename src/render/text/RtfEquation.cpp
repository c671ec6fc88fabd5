#include "RtfEquation.h"

#include <QList>

#include <algorithm>

namespace {

constexpr qsizetype kMaxInstruction = 4096;

bool isLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The characters of an equation without its commands (\s, \up 9, \ad), brackets and argument
// separators: what a reader would see of it drawn.
QString plainCharacters(QStringView text)
{
    QString out;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size() && isLetter(text[i + 1])) {
            ++i;
            while (i < text.size() && isLetter(text[i]))
                ++i;
            while (i < text.size() && text[i] == u' ')
                ++i;
            while (i < text.size() && text[i].isDigit())
                ++i;
            continue;
        }
        if (c == u'\\' && i + 1 < text.size()) {
            out += text[i + 1]; // an escaped bracket or comma stands for itself
            i += 2;
            continue;
        }
        if (c != u'(' && c != u')')
            out += c == u',' ? u' ' : c;
        ++i;
    }
    return out.trimmed();
}

// The arguments of the bracket that opens at `open`, split at its own commas; `end` is set past
// the closing bracket (the text's end when it is missing).
QList<QStringView> arguments(QStringView text, qsizetype open, qsizetype* end)
{
    QList<QStringView> args;
    int depth = 0;
    qsizetype start = open + 1;
    qsizetype i = open;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            ++i; // an escaped character does not count
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            if (--depth == 0) {
                args.append(text.sliced(start, i - start));
                ++i;
                break;
            }
        } else if (c == u',' && depth == 1) {
            args.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    if (depth > 0 && start <= text.size())
        args.append(text.sliced(std::min(start, text.size())));
    *end = std::min(i, text.size());
    return args;
}

} // namespace

RtfEquation RtfEquation::parse(QStringView instruction)
{
    RtfEquation eq;
    QStringView text = instruction.first(std::min(instruction.size(), kMaxInstruction)).trimmed();
    if (!text.startsWith(u"EQ", Qt::CaseInsensitive) ||
        (text.size() > 2 && text[2] != u' ' && text[2] != u'\\'))
        return eq;
    text = text.sliced(2).trimmed();
    // The switches (\* jc2 \* "Font:..." \* hps10) come first.
    while (text.startsWith(u"\\*")) {
        text = text.sliced(2).trimmed();
        qsizetype length = 0;
        if (text.startsWith(u'"')) {
            const qsizetype close = text.indexOf(u'"', 1);
            length = close < 0 ? text.size() : close + 1;
        } else {
            while (length < text.size() && text[length] != u' ' && text[length] != u'\\')
                ++length;
        }
        const QStringView word = text.first(length);
        if (word.startsWith(u"hps", Qt::CaseInsensitive))
            eq.guideHalfPoints = std::clamp(word.sliced(3).toInt(), 0, 400);
        text = text.sliced(length).trimmed();
    }
    // An overstrike (\o, with alignment words such as \ad) holding a raised argument is a guide
    // over its base.
    const qsizetype over = text.indexOf(u"\\o");
    if (over >= 0 && (over + 2 == text.size() || !isLetter(text[over + 2]))) {
        const qsizetype open = text.indexOf(u'(', over);
        if (open >= 0) {
            qsizetype end = 0;
            const QList<QStringView> args = arguments(text, open, &end);
            for (const QStringView arg : args) {
                const QStringView trimmed = arg.trimmed();
                if (trimmed.startsWith(u"\\s") && eq.guide.isEmpty())
                    eq.guide = plainCharacters(trimmed);
                else
                    eq.base += plainCharacters(trimmed);
            }
            if (!eq.isEmpty()) {
                // Text around the overstrike belongs to the field too.
                eq.base = plainCharacters(text.first(over)) + eq.base;
                eq.after = plainCharacters(text.sliced(end));
                return eq;
            }
        }
    }
    eq.base = plainCharacters(text);
    return eq;
}
