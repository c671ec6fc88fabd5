#pragma once

#include "CActWnd.h"
#include "CMyText.h"
#include "CPropBase.h"
#include "FieldVisitor.h"
#include "ItemKind.h"

#include <QString>

#include <memory>
#include <mutex>
#include <vector>

// The area: one LED picture cut into sections, and the playlist played into it. There is one in
// the running program. Its geometry comes from the settings store when it is made and goes back
// there when it is destroyed.
class CAct
{
public:
    static constexpr int kDefaultWidth = 480;
    static constexpr int kDefaultHeight = 360;
    static constexpr int kDefaultFrameColor = 0x00FF0000; // blue

    // Whether the area takes its geometry from the settings store and writes it back when it
    // goes. Tools and tests that only read or write project files use a detached area.
    enum class Binding
    {
        SettingsStore,
        Detached,
    };

    explicit CAct(Binding binding = Binding::SettingsStore);
    CAct(const CAct&) = delete;
    CAct& operator=(const CAct&) = delete;
    ~CAct();

    // Writes "PosX", "PosY", "Width", "Hight", "XY" of section "Window", in that order.
    void SaveGeometry() const;

    // --- project file ---------------------------------------------------------------------
    // Saves the project; on failure the file that was there is left as it was and errorText
    // (if given) holds the message for the user.
    bool SaveProject(const QString& path, QString* errorText = nullptr);
    // Loads a project. A file that cannot be opened leaves the area as it was; a file that
    // fails while it is read leaves the area with no items and no sections.
    bool LoadProject(const QString& path, QString* errorText = nullptr);

    // The ten stored settings, in their stored order.
    void SerializeSettings(FieldVisitor& v);
    // Takes over the other area's stored settings, caption, items and sections.
    void takeProject(CAct& other);

    // --- playlist -------------------------------------------------------------------------
    // The play thread reads the list while the GUI thread may add or move items: every change
    // and every read the thread makes goes through the list lock, so no half-changed list is
    // ever seen. Deleting items needs a stopped area (the player may hold a pointer).

    // Appends an item of the kind the file name asks for; its index, or -1 when no kind plays it.
    int AddFile(const QString& path);
    int itemCount() const;
    CPropBase* item(int index) const; // null when out of range
    void appendItem(std::unique_ptr<CPropBase> item);
    void insertItem(int index, std::unique_ptr<CPropBase> item);
    std::unique_ptr<CPropBase> takeItem(int index);
    // Moves item `from` to position `to` in one step.
    bool moveItem(int from, int to);
    // Deletes every item, last to first.
    void ClearItems();

    // The animated-GIF test used by AddFile; the GIF reader installs it.
    static void setAnimatedGifTest(AnimatedGifTest test);

    // --- stored settings ------------------------------------------------------------------
    int splitMode = 0; // 0 = split horizontally (rows), 1 = split vertically (columns)
    int reserved1 = 32;
    int frameLines = 0; // 0..3, list 150
    int frameColor = kDefaultFrameColor;
    int posX = 0;
    int posY = 0;
    int ledWidth = kDefaultWidth;
    int ledHeight = kDefaultHeight;
    int backColor = 0;
    int manualPlay = 0;
    // Settings store only: the start offset of the first section along the stacking axis.
    int firstOffset = 0;

    // The area's own text block; never null.
    std::unique_ptr<CMyText> caption;
    // The section records, in section order.
    std::vector<std::unique_ptr<CActWnd>> sections;

private:
    const Binding m_binding;
    mutable std::mutex m_itemsMutex;
    std::vector<std::unique_ptr<CPropBase>> m_items;
};
