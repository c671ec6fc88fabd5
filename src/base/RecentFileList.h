#pragma once

#include <QString>
#include <QStringList>

// The recently-used project list: six entries, section "Recent File List", keys "File1".."File6",
// most recent first. It is kept in the store but not shown anywhere.
class RecentFileList
{
public:
    static constexpr int kSize = 6;

    // Reads the stored entries.
    void load();
    // Puts the path at the top (moving it there if it is already listed) and writes the list
    // back at once, so that a program killed months later still left its list behind.
    void add(const QString& path);

    const QStringList& entries() const { return m_entries; }

private:
    void save() const;

    QStringList m_entries;
};
