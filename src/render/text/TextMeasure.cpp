#include "TextMeasure.h"

TextMeasure::TextMeasure(const QFont& font)
    : m_device(1, 1, QImage::Format_RGB32), m_metrics(font, &m_device), m_bmpAdvances(0x10000, -1)
{}

int TextMeasure::advance(char32_t codePoint)
{
    if (codePoint < 0x10000) {
        int& cached = m_bmpAdvances[codePoint];
        if (cached < 0)
            cached = m_metrics.horizontalAdvance(QChar(char16_t(codePoint)));
        return cached;
    }
    const char16_t units[2] = {QChar::highSurrogate(codePoint), QChar::lowSurrogate(codePoint)};
    return m_metrics.horizontalAdvance(QString(reinterpret_cast<const QChar*>(units), 2));
}

int TextMeasure::width(QStringView text)
{
    int total = 0;
    forEachCharacter(text,
                     [&](qsizetype i, qsizetype n) { total += advance(codePointAt(text, i, n)); });
    return total;
}
