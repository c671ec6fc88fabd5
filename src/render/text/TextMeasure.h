#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QStringView>

#include <vector>

// Measures text as the page is drawn: at 96 dots per inch (one LED pixel is one desktop pixel),
// a line's width being the sum of its characters' advances. Advances are cached per character,
// since a text file measures the same few thousand characters over and over.
class TextMeasure
{
public:
    explicit TextMeasure(const QFont& font);

    int advance(char32_t codePoint);
    int width(QStringView text);
    int height() const { return m_metrics.height(); }
    int ascent() const { return m_metrics.ascent(); }

    // Calls f(index, length) for each character (one code point: one or two UTF-16 units).
    template <class F>
    static void forEachCharacter(QStringView text, F&& f)
    {
        for (qsizetype i = 0; i < text.size();) {
            const qsizetype length =
                text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()
                    ? 2
                    : 1;
            f(i, length);
            i += length;
        }
    }
    static char32_t codePointAt(QStringView text, qsizetype index, qsizetype length)
    {
        return length == 2 ? QChar::surrogateToUcs4(text[index], text[index + 1])
                           : text[index].unicode();
    }

private:
    QImage m_device;
    QFontMetrics m_metrics;
    std::vector<int> m_bmpAdvances; // -1: not measured yet
};
