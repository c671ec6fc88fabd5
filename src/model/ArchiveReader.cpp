#include "ArchiveReader.h"

#include "ArchiveTags.h"
#include "CPropBase.h"
#include "PersistentClass.h"
#include "SectionRecord.h"
#include "base/Codepage.h"

namespace {

std::unique_ptr<CPropBase> copyOf(const CPropBase& item)
{
    return item.clone();
}

std::unique_ptr<CMyText> copyOf(const CMyText& block)
{
    return std::make_unique<CMyText>(block);
}

std::unique_ptr<SectionRecord> copyOf(const SectionRecord& section)
{
    return std::make_unique<SectionRecord>(section);
}

// The framework's class records hold names of fewer than 64 bytes.
constexpr quint16 kMaxClassNameLength = 64;
// The least an array element takes in the stream: its tag.
constexpr qsizetype kMinElementBytes = 2;
// More elements than 256 MB of pointers: an array no reader could make.
constexpr quint32 kMaxArrayCount = 32 * 1024 * 1024;

// What a file may make: a floor, then eight times its size, never more than the hard cap.
constexpr qint64 kBudgetFloor = 1024 * 1024;
constexpr qint64 kBudgetPerFileByte = 8;
constexpr qint64 kBudgetCap = 256 * 1024 * 1024;
// What an object costs beyond the bytes of its strings.
constexpr qint64 kObjectCost = 64;

} // namespace

ArchiveReader::ArchiveReader(QByteArrayView data)
    : m_data(data), m_budget(std::min(kBudgetCap, kBudgetFloor + kBudgetPerFileByte * data.size()))
{}

bool ArchiveReader::spend(qint64 cost)
{
    m_created += cost;
    if (m_created > m_budget) {
        fail(StringId::OutOfMemory);
        return false;
    }
    return true;
}

void ArchiveReader::fail(StringId error)
{
    if (!m_failed) {
        m_failed = true;
        m_error = error;
    }
}

bool ArchiveReader::need(qsizetype bytes)
{
    if (m_failed)
        return false;
    if (bytes < 0 || bytes > m_data.size() - m_pos) {
        fail(StringId::ArchiveEndOfFile);
        return false;
    }
    return true;
}

quint8 ArchiveReader::readByte()
{
    if (!need(1))
        return 0;
    return static_cast<quint8>(m_data[m_pos++]);
}

quint16 ArchiveReader::readWord()
{
    if (!need(2))
        return 0;
    const auto* p = reinterpret_cast<const uchar*>(m_data.data() + m_pos);
    m_pos += 2;
    return static_cast<quint16>(p[0] | (p[1] << 8));
}

quint32 ArchiveReader::readDword()
{
    if (!need(4))
        return 0;
    const auto* p = reinterpret_cast<const uchar*>(m_data.data() + m_pos);
    m_pos += 4;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

quint32 ArchiveReader::readLength(bool allowWideMarker, bool* wide)
{
    const quint8 byteLength = readByte();
    if (byteLength < 0xFF)
        return byteLength;
    const quint16 wordLength = readWord();
    if (allowWideMarker && wordLength == ArchiveTags::kWideStringMarker) {
        *wide = true;
        return readLength(false, wide);
    }
    if (wordLength < 0xFFFF)
        return wordLength;
    return readDword();
}

QString ArchiveReader::readString()
{
    bool wide = false;
    const quint32 length = readLength(true, &wide);
    const qsizetype bytes = static_cast<qsizetype>(length) * (wide ? 2 : 1);
    if (!need(bytes) || !spend(2 * static_cast<qint64>(length)))
        return {};
    const char* start = m_data.data() + m_pos;
    m_pos += bytes;
    if (wide) {
        QString text(static_cast<qsizetype>(length), Qt::Uninitialized);
        const auto* p = reinterpret_cast<const uchar*>(start);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
        return text;
    }
    return Codepage::toUnicode(QByteArrayView(start, bytes));
}

quint32 ArchiveReader::readCount()
{
    const quint16 wordCount = readWord();
    const quint32 count = wordCount < 0xFFFF ? wordCount : readDword();
    if (m_failed)
        return 0;
    if (static_cast<qsizetype>(count) > (m_data.size() - m_pos) / kMinElementBytes) {
        // An array the framework could not even make is out of memory; a possible one that the
        // file ends before is the end of the file.
        fail(count > kMaxArrayCount ? StringId::OutOfMemory : StringId::ArchiveEndOfFile);
        return 0;
    }
    return count;
}

ArchiveReader::Tag ArchiveReader::readTag(ClassFamily family)
{
    Tag tag;
    const quint16 word = readWord();
    if (m_failed)
        return tag;
    if (word == ArchiveTags::kNull) {
        tag.kind = TagKind::Null;
        return tag;
    }
    const quint32 obTag =
        word == ArchiveTags::kBigObject
            ? readDword()
            : (quint32(word & ArchiveTags::kClass) << 16) | quint32(word & ~ArchiveTags::kClass);
    if (m_failed)
        return tag;

    if (!(obTag & ArchiveTags::kBigClass)) {
        // A reference to an object read before.
        if (obTag == 0) {
            tag.kind = TagKind::Null;
            return tag;
        }
        if (obTag >= m_entries.size() || !m_entries[obTag].isObject()) {
            fail(StringId::ArchiveBadIndex);
            return tag;
        }
        tag.referenced = &m_entries[obTag];
        tag.cls = tag.referenced->cls;
        tag.kind = TagKind::Reference;
    } else if (word == ArchiveTags::kNewClass) {
        const quint16 schema = readWord();
        const quint16 nameLength = readWord();
        if (m_failed)
            return tag;
        // A name too long for a class record names no class; one cut short by the end of the
        // file is the end of the file.
        if (nameLength >= kMaxClassNameLength) {
            fail(StringId::ArchiveBadClass);
            return tag;
        }
        if (!need(nameLength))
            return tag;
        tag.cls = findPersistentClass(m_data.sliced(m_pos, nameLength));
        m_pos += nameLength;
        if (!tag.cls) {
            fail(StringId::ArchiveBadClass);
            return tag;
        }
        if (schema != 0) {
            fail(StringId::ArchiveBadSchema);
            return tag;
        }
        m_entries.push_back(Entry{tag.cls});
        tag.kind = TagKind::NewObject;
    } else {
        const quint32 classIndex = obTag & ~ArchiveTags::kBigClass;
        if (classIndex == 0 || classIndex >= m_entries.size() || m_entries[classIndex].isObject()) {
            fail(StringId::ArchiveBadIndex);
            return tag;
        }
        tag.cls = m_entries[classIndex].cls;
        tag.kind = TagKind::NewObject;
    }
    if (tag.cls->family != family) {
        fail(StringId::ArchiveBadClass);
        tag.kind = TagKind::Fault;
    }
    return tag;
}

template <class Object, class Make>
std::unique_ptr<Object> ArchiveReader::readObject(ClassFamily family, Object* Entry::*slot,
                                                  Make&& make)
{
    const Tag tag = readTag(family);
    if (tag.kind == TagKind::Reference) {
        // Each slot owns its object: a copy, paid for like the original.
        if (!spend(tag.referenced->cost))
            return nullptr;
        return copyOf(*(tag.referenced->*slot));
    }
    if (tag.kind != TagKind::NewObject || !spend(kObjectCost))
        return nullptr;
    const qint64 before = m_created - kObjectCost;
    std::unique_ptr<Object> object = make(*tag.cls);
    const size_t index = m_entries.size();
    Entry entry{tag.cls};
    entry.*slot = object.get();
    m_entries.push_back(entry);
    object->Serialize(*this);
    m_entries[index].cost = m_created - before;
    return m_failed ? nullptr : std::move(object);
}

std::unique_ptr<CPropBase> ArchiveReader::readItem()
{
    return readObject<CPropBase>(ClassFamily::Item, &Entry::item,
                                 [](const PersistentClass& cls) { return cls.kind->factory(); });
}

std::unique_ptr<CMyText> ArchiveReader::readTextBlock()
{
    return readObject<CMyText>(ClassFamily::TextBlock, &Entry::textBlock,
                               [](const PersistentClass&) { return std::make_unique<CMyText>(); });
}

std::unique_ptr<SectionRecord> ArchiveReader::readSection()
{
    return readObject<SectionRecord>(
        ClassFamily::Section, &Entry::section,
        [](const PersistentClass&) { return std::make_unique<SectionRecord>(); });
}

void ArchiveReader::integer(const char*, int& value)
{
    value = readInt();
}

void ArchiveReader::string(const char*, QString& value)
{
    value = readString();
}

void ArchiveReader::rect(const char*, WinRect& value)
{
    value.left = readInt();
    value.top = readInt();
    value.right = readInt();
    value.bottom = readInt();
}

void ArchiveReader::textBlocks(const char*, std::vector<std::unique_ptr<CMyText>>& blocks)
{
    blocks.clear();
    const quint32 count = readCount();
    blocks.reserve(count);
    for (quint32 i = 0; i < count && !m_failed; ++i) {
        // A null reference leaves no empty slot behind.
        if (std::unique_ptr<CMyText> block = readTextBlock())
            blocks.push_back(std::move(block));
    }
}
