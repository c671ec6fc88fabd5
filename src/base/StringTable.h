#pragma once

#include <QString>
#include <QStringList>

// The two text sets the interface carries, by their locale identifiers.
enum class TextSet
{
    English = 1033,
    Chinese = 2052,
};

// String-table ids. The numbers are those of the resources; lists hold their entries separated
// by line breaks.
enum class StringId : int
{
    AboutBox = 101, // system-menu item "About Tessarin(&A)..."
    NoMemory = 102,
    FitModes = 103,     // list: background and image fit
    Effects = 104,      // list: transition effects, 0 = random
    TextStyles = 105,   // list: text outline styles
    ClearEffects = 106, // list: 52 clearing effects
    GifFitModes = 107,  // list
    TipSave = 122,
    TipOpen = 123,
    TipNew = 124,
    TipStop = 125,
    TipPlay = 126,
    TipPause = 127,
    TipHidePlayWindow = 128,
    TipEnableEdit = 129,
    TipAddFile = 130,
    TipDeleteFile = 131,
    TipMoveUpFile = 132,
    TipMoveDownFile = 133,
    AskSaveCurrent = 134,
    AskReplaceCurrent = 135,
    TipShowPlayWindow = 136,
    TipDisableEdit = 137,
    AddFileFilter = 138,
    TipBrowse = 139,
    TipPreview = 140,
    TipPlaySound = 141,
    TipPreviewText = 142,
    TipBold = 143,
    TipItalic = 144,
    TipUnderline = 145,
    TipLeftJustify = 146,
    TipCenterJustify = 147,
    TipRightJustify = 148,
    TipVerticalJustify = 149,
    FrameStyles = 150, // list: frame lines 0..3

    // The settings dialog's range messages (Chinese in both sets).
    RangePos = 1201,
    RangeLength = 1202,
    RangeNum = 1203,

    // Framework messages: documents.
    InvalidFileName = 61696,
    OpenDocumentFailed = 61697,
    SaveDocumentFailed = 61698,
    // Framework messages: the project archive (%1 is the file's path).
    ArchiveGeneric = 0xF1A1,
    ArchiveEndOfFile = 0xF1A3,
    ArchiveBadIndex = 0xF1A5,
    ArchiveBadClass = 0xF1A6,
    ArchiveBadSchema = 0xF1A7,
    // Framework messages: file errors (%1 is the file's path).
    FileGeneric = 0xF1C1,
    FileNotFound = 0xF1C2,
    FileBadPath = 0xF1C3,
    FileTooManyOpen = 0xF1C4,
    FileAccessDenied = 0xF1C5,
    FileHardIo = 0xF1CA,
    FileDiskFull = 0xF1CD,
    OutOfMemory = 0xF1CF,
};

// The text set every lookup uses; chosen once at start-up.
void setTextSet(TextSet set);
TextSet textSet();

// A text of a dialog (not of the string table) in the current text set.
QString dialogText(const char* english, const char* chinese);

// A message with the file's path in place of its %1; the text as it is when it names no file.
QString withPath(const QString& text, const QString& path);

// The entry in the current text set; empty for an id the table does not hold.
QString loadString(StringId id);
QString loadString(StringId id, TextSet set);

// A list entry split into its pieces: the pieces between line breaks in order, and a final piece
// after the last break only when it is not empty.
QStringList splitStringList(const QString& entry);
QStringList loadStringList(StringId id);
