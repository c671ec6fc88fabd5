#pragma once

class CPropBase;

// What an item needs from the control window to show its property page: the page registered for
// the item's class name is shown and handed the item. A class no page has shows no page.
class PropertyPageHost
{
public:
    virtual ~PropertyPageHost() = default;
    virtual void showItemPage(CPropBase& item) = 0;
};
