#include "RecentFileList.h"

#include "SettingsStore.h"

namespace {

const QString kSection = QStringLiteral("Recent File List");

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

QString keyFor(int index)
{
    return QStringLiteral("File%1").arg(index + 1);
}

} // namespace

void RecentFileList::load()
{
    m_entries.clear();
    for (int i = 0; i < kSize; ++i) {
        const QString path = SettingsStore::readString(kSection, keyFor(i));
        if (!path.isEmpty())
            m_entries.append(path);
    }
}

void RecentFileList::add(const QString& path)
{
    if (path.isEmpty())
        return;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].compare(path, kPathCase) == 0) {
            m_entries.removeAt(i);
            break;
        }
    }
    m_entries.prepend(path);
    while (m_entries.size() > kSize)
        m_entries.removeLast();
    save();
}

void RecentFileList::save() const
{
    for (int i = 0; i < kSize; ++i)
        SettingsStore::writeString(kSection, keyFor(i),
                                   i < m_entries.size() ? m_entries[i] : QString());
}
