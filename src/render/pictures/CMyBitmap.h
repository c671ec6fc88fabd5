#pragma once

#include <QImage>
#include <QRect>
#include <QString>

// A picture loaded from a file and drawn into composed pictures: at its own size, stretched, or
// fitted (center, zoom, stretch, tile). Made empty.
class CMyBitmap
{
public:
    enum FitMode
    {
        Center = 0,
        Zoom = 1,
        Stretch = 2,
        // 3 and above: tile
    };

    // A file that cannot be opened leaves the current picture; one that does not decode leaves
    // the object empty.
    bool Load(const QString& path);
    // The same from the file's bytes, already read (`path` names the format: .pcx).
    bool LoadData(const QByteArray& bytes, const QString& path);
    void Release() { m_image = QImage(); }
    // Takes a picture decoded elsewhere (a GIF frame); shared, not copied.
    void setImage(const QImage& image) { m_image = image; }
    bool isNull() const { return m_image.isNull(); }
    QSize Size() const { return m_image.size(); }
    const QImage& image() const { return m_image; }

    // Into (left, top, right, bottom): scaled to it with `stretch`, else cropped at its own size.
    void Draw(QImage& destination, int left, int top, int right, int bottom, bool stretch) const;
    // At (x, y) with this size when both are positive, else with the picture's own size.
    void DrawAt(QImage& destination, int x, int y, int width, int height) const;
    void DrawFitted(QImage& destination, const QRect& rect, int fitMode) const;
    // The background of a composed picture: its colour (COLORREF), then the picture at `path`
    // fitted over the whole of it, when there is one and it loads.
    static void FillBackground(QImage& destination, int colorRef, const QString& path, int fitMode);

private:
    QImage m_image;
};
