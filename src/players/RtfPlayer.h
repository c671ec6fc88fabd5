#pragma once

class CAct;
class CPropRtf;

// One play of a rich-text item: the document page by page, each page rendered on a worker while
// the one before it is shown, colours reversed when asked, laid over the background picture.
class RtfPlayer
{
public:
    RtfPlayer(const CPropRtf& item, CAct& area) : m_item(item), m_area(area) {}
    void play();

private:
    const CPropRtf& m_item;
    CAct& m_area;
};
