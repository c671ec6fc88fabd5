#pragma once

class CPropBase;

// What an item needs from the control window to show its property page: the page with this
// template id is shown and handed the item. An id no page has shows no page.
class PropertyPageHost
{
public:
    virtual ~PropertyPageHost() = default;
    virtual void showItemPage(int templateId, CPropBase& item) = 0;
};
