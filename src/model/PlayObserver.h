#pragma once

#include <QJsonObject>

class CPropBase;

// Told each time an item has fully shown a page or picture: after its transition, before its
// hold. Called on the play thread; `details` holds what the item reports ("page", "effect", ...).
class PlayObserver
{
public:
    virtual ~PlayObserver() = default;
    virtual void pictureShown(const CPropBase& item, const QJsonObject& details) = 0;
    // An item the loop passed over ("schedule": outside its schedule).
    virtual void itemSkipped(const CPropBase& item, int index, const char* reason)
    {
        (void)item;
        (void)index;
        (void)reason;
    }
};
