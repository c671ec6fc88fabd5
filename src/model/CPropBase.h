#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class CAct;
class FieldVisitor;
class PropertyPageHost;

// A playlist item. The fields are edited by the property pages on the GUI thread and read by the
// player on the play thread; an edit shows the next time the item is played.
class CPropBase
{
public:
    CPropBase() = default;
    CPropBase& operator=(const CPropBase&) = delete;
    virtual ~CPropBase();

    // A copy with the same stored fields, not bound to any area.
    virtual std::unique_ptr<CPropBase> clone() const = 0;
    // The stored fields in their order: the base fields, then the kind's.
    virtual void Serialize(FieldVisitor& v);

    // The class name under which the item is stored in project files: its kind's key in the
    // kinds table and in the page registry.
    virtual const char* className() const = 0;

    // Shows the item's page in the control window (the page of its class) and hands it the item.
    void ShowProperties(PropertyPageHost& host);
    // Plays the item into the area's sections on the play thread; returns when its showing is
    // over or the area's stop event is set. The player of the item's kind plays a copy of it.
    virtual void Play(CAct& area);

    QString filePath;      // set when the item is made from a file; never changes
    QString backImagePath; // background picture, empty = none
    QString reservedText;
    int backColor = 0;   // COLORREF
    int backFitMode = 0; // list 103
    int clearEffect = 0; // list 106
    int clearSpeed = 3;
    int baseReserved1 = 0;
    int baseReserved2 = 5;

    // The area that is playing the item; set by Play, not owned.
    std::atomic<CAct*> area{nullptr};

    // Held while the fields are written (the pages) or copied for a play (the players): a page
    // may edit the item that a preview is playing.
    std::mutex& fieldsMutex() const { return m_fieldsMutex; }
    // A copy of the item taken under its lock, for a player to play from.
    std::unique_ptr<CPropBase> lockedClone() const;

protected:
    CPropBase(const CPropBase& other);

private:
    mutable std::mutex m_fieldsMutex;
};
