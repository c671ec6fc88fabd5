#include "StringTable.h"

#include "StringTableData.h"

#include <QDir>

#include <atomic>

namespace {

std::atomic<TextSet> g_textSet{TextSet::English};

} // namespace

void setTextSet(TextSet set)
{
    g_textSet.store(set, std::memory_order_relaxed);
}

TextSet textSet()
{
    return g_textSet.load(std::memory_order_relaxed);
}

QString dialogText(const char* english, const char* chinese)
{
    return QString::fromUtf8(textSet() == TextSet::Chinese ? chinese : english);
}

QString withPath(const QString& text, const QString& path)
{
    return text.contains(QLatin1String("%1")) ? text.arg(QDir::toNativeSeparators(path)) : text;
}

QString loadString(StringId id)
{
    return loadString(id, textSet());
}

QString loadString(StringId id, TextSet set)
{
    for (const StringTableEntry& e : stringTableEntries()) {
        if (e.id == id)
            return QString::fromUtf8(set == TextSet::Chinese ? e.chinese : e.english);
    }
    return {};
}

QStringList splitStringList(const QString& entry)
{
    QStringList pieces;
    qsizetype start = 0;
    for (;;) {
        const qsizetype brk = entry.indexOf(QLatin1Char('\n'), start);
        if (brk < 0)
            break;
        qsizetype end = brk;
        if (end > start && entry.at(end - 1) == QLatin1Char('\r'))
            --end;
        pieces.append(entry.mid(start, end - start));
        start = brk + 1;
    }
    if (start < entry.size())
        pieces.append(entry.mid(start));
    return pieces;
}

QStringList loadStringList(StringId id)
{
    return splitStringList(loadString(id));
}
