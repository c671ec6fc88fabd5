#pragma once

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// What the remote server asks of the program: the same commands as the toolbar and the manual
// keys, on the GUI thread. Every call answers at once; errors come back as the text the server
// sends with its status code.
class RemoteController
{
public:
    virtual ~RemoteController() = default;

    // {"state", "item", "itemCount", "file", "page", "project", "modified", "led", "version"},
    // and "zones" (as zones() lists them) when the project has more than one. "item", "file",
    // "page" are the first zone's.
    virtual QJsonObject status() const = 0;
    // One object a playlist line: {"index", "file", "class", "playing"}, and "zone" with zones.
    virtual QJsonArray items() const = 0;
    // "play" (resumes a paused wall, starts a stopped one, leaves a playing one alone),
    // "restart" (from the first item), "pause", "resume", "stop", "next", "previous", "first",
    // "last"; false for another name or a command that could not be carried out.
    virtual bool command(const QString& name) = 0;
    // Plays item `index` and goes on from it; false when there is no such item.
    virtual bool playItem(int index) = 0;
    // One object a zone: {"index", "name", "rect": [x, y, w, h], "item", "file", "page",
    // "position"}; a project without zones has one over the whole LED.
    virtual QJsonArray zones() const = 0;
    // "next", "previous", "first", "last" within zone `zone`'s items (the other zones play on);
    // the rest as command() does. False for no such zone, or as command().
    virtual bool zoneCommand(int zone, const QString& name) = 0;
    // Plays item `index` (as items() counts) when it is one of zone `zone`'s.
    virtual bool playZoneItem(int zone, int index) { return zone == 0 && playItem(index); }
    // Adds a file as AddFile does, into zone `zone`; its index, or -1 when no kind plays it.
    virtual int addFile(const QString& path, int zone) = 0;
    virtual bool deleteItem(int index) = 0;
    virtual bool moveItem(int from, int to) = 0;
    virtual bool openProject(const QString& path, QString* error) = 0;
    virtual bool saveProject(QString* error) = 0;
    // The LED rectangle as the controller reads it: the desktop from (0,0) to the farthest
    // section window's corner.
    virtual QImage ledPicture() const = 0;
    // The wall as its audience sees it: the LED width x height, the sections joined back.
    virtual QImage wallPicture() const = 0;
};
