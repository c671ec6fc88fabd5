#pragma once

#include "RtfEquation.h"
#include "RtfKeywords.h"
#include "RtfPicture.h"
#include "RtfTableBuilder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextFormat>
#include <QTextOption>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QTextDocument;

// The reader behind readRtfOrText: one pass over the data with a stack of group states. The
// control words are handled in RtfControlWords.cpp, the rest in RtfReader.cpp.
class RtfParser
{
public:
    RtfParser(QByteArrayView data, QTextDocument& doc, const std::function<bool()>& stop)
        : m_data(data), m_doc(doc), m_cursor(&doc), m_stop(stop)
    {}

    // False when the stop ended the read.
    bool parse();

private:
    static constexpr double kTwipsPerPixel = 15.0; // 1440 per inch at 96 dots per inch

    enum class Destination
    {
        Text,
        FontTable,
        ColorTable,
        Skip,
        Picture,
        PropertyName,     // a shape property's name (\sn)
        FieldInstruction, // kept as text: an equation's base and phonetic guide are shown
    };

    // Which characters the text that follows holds: the associated set applies to double-byte text.
    enum class RunType
    {
        None,
        LowAnsi,
        HighAnsi,
        DoubleByte,
    };

    struct CharProps
    {
        int font = -1;
        int halfPoints = 24;
        bool bold = false, italic = false, underline = false, strike = false;
        int foreground = 0, background = 0;
        int vertical = 0; // 1 superscript, 2 subscript
        int raiseHalfPoints = 0;
        bool operator==(const CharProps&) const = default;
    };

    struct GroupState
    {
        Destination destination = Destination::Text;
        CharProps chars;
        // The associated set (\af \afs \ab \ai); -1 where not given, then the main value holds.
        int assocFont = -1, assocHalfPoints = -1, assocBold = -1, assocItalic = -1;
        // The associated fonts given after \hich and after \dbch; -1 where not given.
        int hichFont = -1, dbchFont = -1;
        RunType runType = RunType::None;
        bool complexScript = false; // after \rtlch: the associated words are for right-to-left text
        bool hidden = false;
        int unicodeSkip = 1;
        // Paragraph properties.
        Qt::Alignment align = Qt::AlignLeft;
        int leftTwips = 0, rightTwips = 0, firstTwips = 0, beforeTwips = 0, afterTwips = 0;
        int lineTwips = 0;
        bool lineMultiple = false;
        bool rightToLeft = false;
        QList<QTextOption::Tab> tabs;
        QTextOption::TabType nextTabType = QTextOption::LeftTab;
        bool inTable = false;
        bool pageBreakBefore = false;
        bool shapePicture = false; // inside the value of a shape's picture property
        // The text of a text box, a frame or a drawing object goes into the flow at its anchor;
        // boxDepth is the stack depth of the group that holds it (0: not in one), boxInCell
        // whether its anchor is in a table cell.
        int boxDepth = 0;
        bool boxInCell = false;
        // The depths of the \field and \fldrslt groups in force, and the characters inserted
        // when the result began.
        int fieldDepth = 0, resultDepth = 0;
        qsizetype resultMark = 0;
        // The characters inserted when the shape in force began: its result (\shprslt) stands
        // in for it only where its instructions showed nothing.
        qsizetype shapeMark = -1;
    };

    struct Font
    {
        QString family;
        int charset = -1;  // -1: not given
        int codePage = -1; // \cpg
    };

    static QByteArray encodingFor(const Font* font, int ansiCodePage);
    static CharProps effectiveProps(const GroupState& s, int defaultFont);

    GroupState& state() { return m_stack.back(); }
    void controlWord(QByteArrayView word, bool hasParam, int param);
    void tableWord(RtfKeyword keyword, int param);
    void text(char c);
    void textRun();
    void skipGroup();
    // keepLead: a double-byte lead byte at the end waits for its trail byte (a format change
    // between the two).
    void decodePending(bool keepLead = false);
    void flush(bool keepLead = false);
    const QTextCharFormat& charFormat();
    QTextBlockFormat blockFormat() const;
    QTextCursor& out();
    void newParagraph();
    void insertChar(QChar c);
    void finishBlock();
    void endGroup();
    QStringDecoder& decoderFor(int font);
    const Font* font(int number) const;
    void insertPicture();
    QColor colour(int index, const QColor& fallback) const;
    void finishCellLayout(int rightTwips);
    void startBoxText();
    void endBoxText();
    void insertFieldText();

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    QTextDocument& m_doc;
    QTextCursor m_cursor;
    const std::function<bool()>& m_stop;
    std::vector<GroupState> m_stack{GroupState{}};
    std::vector<Font> m_fonts;
    QHash<int, int> m_fontIndex; // \fN -> m_fonts index
    std::vector<QRgb> m_colors;
    int m_defaultFont = 0;
    int m_ansiCodePage = 1252;
    bool m_starPending = false;
    QByteArray m_pending;  // bytes of text not yet decoded
    QString m_pendingText; // decoded text not yet inserted
    int m_skipChars = 0;   // characters still to skip after a \uN
    QHash<QByteArray, std::shared_ptr<QStringDecoder>> m_decoders;
    // The character format last made, and what it was made of.
    QTextCharFormat m_format;
    CharProps m_formatProps;
    bool m_formatValid = false;
    // Font table entry being read.
    int m_fontNumber = -1;
    Font m_fontEntry;
    QByteArray m_fontName;
    // Colour table entry being read.
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
    // Picture being read.
    RtfPicture m_picture;
    QByteArray m_pictHex;
    int m_pictureCount = 0;
    // Tables.
    RtfTableBuilder m_table;
    RtfRowLayout m_row;
    RtfCellLayout m_cellLayout;
    int m_cellBack = -1, m_cellFore = -1, m_cellShading = -1;
    std::array<RtfBorder, 6> m_rowBorders; // top, left, bottom, right, horizontal, vertical
    RtfBorder* m_border = nullptr;         // the border that border words describe
    RtfBorder m_ignoredBorder;
    bool m_pageBreak = false;
    // The shape being read: its rectangle (twips) and the property whose name is being read.
    int m_shapeLeft = 0, m_shapeTop = 0, m_shapeRight = 0, m_shapeBottom = 0;
    QByteArray m_propertyName;
    // Characters inserted so far: tells a field whose result is empty.
    qsizetype m_insertedChars = 0;
    // The field instruction being read, and what an equation field shows when its result does
    // not (a phonetic guide: the base text with the guide after it, smaller).
    QString m_fieldInstruction;
    RtfEquation m_equation;
};
