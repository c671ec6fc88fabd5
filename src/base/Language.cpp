#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <array>
#include <clocale>

namespace Language {
namespace {

constexpr std::array<Entry, 9> kEntries{{
    {1, 2052, "zh_CN.UTF-8"},
    {2, 1028, "zh_TW.UTF-8"},
    {3, 1033, "en_US.UTF-8"},
    {4, 1036, "fr_FR.UTF-8"},
    {5, 1041, "ja_JP.UTF-8"},
    {6, 1042, "ko_KR.UTF-8"},
    {7, 1049, "ru_RU.UTF-8"},
    {8, 1031, "de_DE.UTF-8"},
    {9, 1054, "th_TH.UTF-8"},
}};

QLocale localeFor(int localeId)
{
    switch (localeId) {
    case 2052:
        return QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    case 1028:
        return QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan);
    case 1033:
        return QLocale(QLocale::English, QLocale::UnitedStates);
    case 1036:
        return QLocale(QLocale::French, QLocale::France);
    case 1041:
        return QLocale(QLocale::Japanese, QLocale::Japan);
    case 1042:
        return QLocale(QLocale::Korean, QLocale::SouthKorea);
    case 1049:
        return QLocale(QLocale::Russian, QLocale::Russia);
    case 1031:
        return QLocale(QLocale::German, QLocale::Germany);
    case 1054:
        return QLocale(QLocale::Thai, QLocale::Thailand);
    default:
        return QLocale();
    }
}

int localeIdFor(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
        return locale.script() == QLocale::TraditionalChineseScript ? 1028 : 2052;
    case QLocale::French:
        return 1036;
    case QLocale::Japanese:
        return 1041;
    case QLocale::Korean:
        return 1042;
    case QLocale::Russian:
        return 1049;
    case QLocale::German:
        return 1031;
    case QLocale::Thai:
        return 1054;
    case QLocale::English:
        return 1033;
    default:
        // Not one of the nine: an LCID of its own kind that no table entry matches.
        return 0x0400 | static_cast<int>(locale.language());
    }
}

} // namespace

std::optional<Entry> entryForValue(int value)
{
    for (const Entry& e : kEntries) {
        if (e.value == value)
            return e;
    }
    return std::nullopt;
}

std::optional<Entry> entryForLocaleId(int localeId)
{
    for (const Entry& e : kEntries) {
        if (e.localeId == localeId)
            return e;
    }
    return std::nullopt;
}

int currentLocaleId()
{
    return localeIdFor(QLocale());
}

TextSet textSetForLocaleId(int localeId)
{
    return localeId == 2052 || localeId == 1028 ? TextSet::Chinese : TextSet::English;
}

TextSet apply(int storedValue)
{
    const int current = currentLocaleId();
    const std::optional<Entry> stored = entryForValue(storedValue);
    const int localeId = stored ? stored->localeId : current;
    if (localeId != current)
        QLocale::setDefault(localeFor(localeId));
    if (const std::optional<Entry> entry = entryForLocaleId(localeId)) {
        // A locale that is not installed leaves the run-time locale as it was.
        std::setlocale(LC_ALL, entry->posixName);
        // Numbers written by the C library (JSON, logs) keep the dot on every locale.
        std::setlocale(LC_NUMERIC, "C");
    }
    const TextSet set = textSetForLocaleId(localeId);
    setTextSet(set);
    return set;
}

bool installQtTexts()
{
    static QTranslator qtTexts;
    QCoreApplication::removeTranslator(&qtTexts);
    if (textSet() != TextSet::Chinese)
        return false;
    if (!qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(&qtTexts);
}

} // namespace Language
