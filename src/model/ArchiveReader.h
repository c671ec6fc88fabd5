#pragma once

#include "FieldVisitor.h"
#include "PersistentClass.h"
#include "base/StringTable.h"

#include <QByteArrayView>

#include <memory>
#include <vector>

class SectionRecord;
class CPropBase;

// Reads the tagged-object stream that ArchiveWriter writes, from memory. Every read is checked
// against the bytes left; the first fault stops the reader, and every later read is a no-op
// that returns zero, so callers check failed() once at the end of a unit. No count or length
// is trusted before the bytes it promises are known to be there.
class ArchiveReader final : public FieldVisitor
{
public:
    explicit ArchiveReader(QByteArrayView data);

    bool failed() const { return m_failed; }
    // The archive message for the first fault (its text takes the file's path as %1).
    StringId error() const { return m_error; }

    quint8 readByte();
    quint16 readWord();
    quint32 readDword();
    int readInt() { return static_cast<int>(readDword()); }
    QString readString();
    // An array's element count; refused when the elements cannot fit in the bytes left.
    quint32 readCount();

    // One tagged object of the family; null for a null reference or a fault. A reference to an
    // earlier object gives a copy of it, so that every slot owns its own object.
    std::unique_ptr<CPropBase> readItem();
    std::unique_ptr<CMyText> readTextBlock();
    std::unique_ptr<SectionRecord> readSection();

    void integer(const char* name, int& value) override;
    void string(const char* name, QString& value) override;
    void rect(const char* name, WinRect& value) override;
    void textBlocks(const char* name, std::vector<std::unique_ptr<CMyText>>& blocks) override;

private:
    // One entry of the load map: a class (no object) or an object of a class.
    struct Entry
    {
        const PersistentClass* cls = nullptr;
        CPropBase* item = nullptr;
        CMyText* textBlock = nullptr;
        SectionRecord* section = nullptr;
        // What the object and everything it holds took to make (see m_created).
        qint64 cost = 0;
        bool isObject() const { return item || textBlock || section; }
    };
    enum class TagKind
    {
        Null,
        NewObject,
        Reference,
        Fault,
    };
    struct Tag
    {
        TagKind kind = TagKind::Fault;
        const PersistentClass* cls = nullptr;
        const Entry* referenced = nullptr;
    };

    Tag readTag(ClassFamily family);
    // Counts what reading makes; false (out of memory) once it passes what the file may make.
    bool spend(qint64 cost);
    template <class Object, class Make>
    std::unique_ptr<Object> readObject(ClassFamily family, Object* Entry::*slot, Make&& make);
    bool need(qsizetype bytes);
    void fail(StringId error);
    quint32 readLength(bool allowWideMarker, bool* wide);

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    // The bytes of the objects made so far, copies of referenced objects included, against a
    // budget in proportion to the file: a few bytes that refer to a large object again and
    // again must not make gigabytes.
    qint64 m_created = 0;
    qint64 m_budget = 0;
    bool m_failed = false;
    StringId m_error = StringId::ArchiveGeneric;
    // Index 0 is the null reference; classes and objects take the next index as they appear.
    std::vector<Entry> m_entries{Entry{}};
};
