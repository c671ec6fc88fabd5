#pragma once

#include "FieldVisitor.h"

#include <QByteArray>

#include <utility>
#include <vector>

class SectionRecord;
class CPropBase;

// Writes the tagged-object stream of project files: little-endian integers, length-prefixed
// strings in the ANSI code page, counts, and objects tagged with their class the first time a
// class appears and with the class's index after that. Classes and objects share one index
// counter that starts at 1.
class ArchiveWriter final : public FieldVisitor
{
public:
    explicit ArchiveWriter(QByteArray& out) : m_out(out) {}

    void writeByte(quint8 value) { m_out.append(static_cast<char>(value)); }
    void writeWord(quint16 value);
    void writeDword(quint32 value);
    void writeInt(int value) { writeDword(static_cast<quint32>(value)); }
    void writeString(const QString& text);
    // A string length: a byte, or 0xFF and a word, or 0xFF 0xFFFF and a double word.
    void writeLength(quint32 length);
    void writeCount(quint32 count);

    void writeItem(CPropBase& item);
    void writeSection(SectionRecord& section);

    void integer(const char* name, int& value) override;
    void string(const char* name, QString& value) override;
    void rect(const char* name, WinRect& value) override;
    void textBlocks(const char* name, std::vector<std::unique_ptr<CMyText>>& blocks) override;

private:
    // The tag of a new object of the class; the object then takes the next index.
    void beginObject(const char* className);

    QByteArray& m_out;
    quint32 m_nextIndex = 1;
    std::vector<std::pair<const char*, quint32>> m_classIndex;
};
