#include "ArchiveWriter.h"

#include "ArchiveTags.h"
#include "CPropBase.h"
#include "PersistentClass.h"
#include "SectionRecord.h"
#include "base/Codepage.h"

#include <cstring>

void ArchiveWriter::writeWord(quint16 value)
{
    const char bytes[2] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    m_out.append(bytes, 2);
}

void ArchiveWriter::writeDword(quint32 value)
{
    const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                           static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
    m_out.append(bytes, 4);
}

void ArchiveWriter::writeLength(quint32 length)
{
    if (length < 0xFF) {
        writeByte(static_cast<quint8>(length));
    } else if (length < 0xFFFE) {
        writeByte(0xFF);
        writeWord(static_cast<quint16>(length));
    } else {
        writeByte(0xFF);
        writeWord(0xFFFF);
        writeDword(length);
    }
}

void ArchiveWriter::writeString(const QString& text)
{
    if (!Codepage::roundTrips(text)) {
        // Characters GBK cannot hold (Korean, emoji): the wide form, UTF-16 after a marker, which
        // the framework's reader takes as well.
        writeByte(0xFF);
        writeWord(ArchiveTags::kWideStringMarker);
        writeLength(static_cast<quint32>(text.size()));
        for (const QChar c : text)
            writeWord(c.unicode());
        return;
    }
    const QByteArray bytes = Codepage::fromUnicode(text);
    writeLength(static_cast<quint32>(bytes.size()));
    m_out.append(bytes);
}

void ArchiveWriter::writeCount(quint32 count)
{
    if (count < 0xFFFF) {
        writeWord(static_cast<quint16>(count));
    } else {
        writeWord(0xFFFF);
        writeDword(count);
    }
}

void ArchiveWriter::beginObject(const char* className)
{
    for (const auto& [name, index] : m_classIndex) {
        if (std::strcmp(name, className) == 0) {
            if (index < ArchiveTags::kBigObject) {
                writeWord(static_cast<quint16>(ArchiveTags::kClass | index));
            } else {
                writeWord(ArchiveTags::kBigObject);
                writeDword(ArchiveTags::kBigClass | index);
            }
            ++m_nextIndex; // the object
            return;
        }
    }
    const auto nameLength = static_cast<quint16>(std::strlen(className));
    writeWord(ArchiveTags::kNewClass);
    writeWord(0); // schema
    writeWord(nameLength);
    m_out.append(className, nameLength);
    m_classIndex.emplace_back(className, m_nextIndex++);
    ++m_nextIndex; // the object
}

void ArchiveWriter::writeItem(CPropBase& item)
{
    beginObject(item.className());
    item.Serialize(*this);
}

void ArchiveWriter::writeSection(SectionRecord& section)
{
    beginObject(kSectionClass);
    section.Serialize(*this);
}

void ArchiveWriter::integer(const char*, int& value)
{
    writeInt(value);
}

void ArchiveWriter::string(const char*, QString& value)
{
    writeString(value);
}

void ArchiveWriter::rect(const char*, WinRect& value)
{
    writeInt(value.left);
    writeInt(value.top);
    writeInt(value.right);
    writeInt(value.bottom);
}

void ArchiveWriter::textBlocks(const char*, std::vector<std::unique_ptr<CMyText>>& blocks)
{
    writeCount(static_cast<quint32>(blocks.size()));
    for (const auto& block : blocks) {
        beginObject(kTextBlockClass);
        block->Serialize(*this);
    }
}
