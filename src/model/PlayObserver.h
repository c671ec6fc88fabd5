#pragma once

#include <QJsonObject>
#include <QtGlobal>

class CPropBase;

// Told each time an item has fully shown a page or picture: after its transition, before its
// hold. Called on the play thread; `details` holds what the item reports ("page", "effect", ...).
class PlayObserver
{
public:
    virtual ~PlayObserver() = default;
    virtual void pictureShown(const CPropBase& item, const QJsonObject& details) = 0;
    // Each frame a video item shows, as it shows: its presentation time from the item's start.
    // Called on the play thread at the frame rate: no allocation, no lock.
    virtual void positionShown(const CPropBase& item, qint64 ptsUs)
    {
        (void)item;
        (void)ptsUs;
    }
    // An item the loop passed over ("schedule": outside its schedule).
    virtual void itemSkipped(const CPropBase& item, int index, const char* reason)
    {
        (void)item;
        (void)index;
        (void)reason;
    }
};
