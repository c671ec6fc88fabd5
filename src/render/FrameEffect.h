#pragma once

#include <QImage>

#include <vector>

// The look of transition effects 16 to 50: each frame of the LED picture is a function of the
// progress p (0 = the old picture, 1 = exactly the new one) of two pictures of the same size.
// A frame is produced row by row, straight into the sections' back buffers, so nothing is
// allocated per frame.
//
//  16-19  corner cover1: a rectangle growing from the corner (left top, right top, left down,
//         right down) uncovers the new picture
//  20-23  corner cover2: a diagonal edge sweeps from the corner to the opposite one
//  24-27  corner moves: the new picture slides in over the old from the opposite corner and
//         comes to rest when it reaches the named one
//  28-30  mosaic S/M/L: blocks of 4, 8 or 16 pixels turn new in a fixed scattered order
//  31     gradual change: a cross-fade
//  32-37  turns: the new picture grows from the centre while it turns left (anticlockwise) or
//         right (clockwise) through 360, 180 or 90 degrees
//  38-42  growing big: the whole new picture grows from the centre or from a corner
//  43-50  radiation1/2 of rectangle, diamond, cross, circle: 1 grows the shape out from the
//         centre, 2 closes the shape in from the edges, with the new picture behind it
class FrameEffect
{
public:
    static constexpr int kFirst = 16;
    static constexpr int kLast = 50;
    static bool handles(int effect) { return effect >= kFirst && effect <= kLast; }

    // Both pictures must have the same size and a 32-bit format; neither is copied.
    FrameEffect(int effect, const QImage& oldPicture, const QImage& newPicture);

    void setProgress(double progress);
    // Columns [x0, x0 + count) of picture row y into out; the caller keeps them in the picture.
    void row(int y, int x0, int count, QRgb* out) const;

private:
    enum class Look
    {
        CornerRect,
        CornerDiagonal,
        CornerSlide,
        Mosaic,
        Fade,
        Turn,
        Grow,
        Rectangle,
        Diamond,
        Cross,
        Circle,
    };

    // Old everywhere in the row except new in [from, to), or the other way round when inverted.
    void span(int y, int x0, int count, QRgb* out, double from, double to, bool inverted) const;
    // The new picture drawn through the inverse map of the turn or the growth.
    void mapped(int y, int x0, int count, QRgb* out) const;
    void copyOld(int y, int from, int to, int x0, QRgb* out) const;
    void copyNew(int y, int from, int to, int x0, QRgb* out) const;

    const QImage& m_old;
    const QImage& m_new;
    Look m_look = Look::Fade;
    int m_corner = 0;       // 0 left top, 1 right top, 2 left down, 3 right down, 4 centre
    bool m_closing = false; // radiation2: the shape closes in
    int m_block = 8;        // mosaic
    int m_blockShift = 3;
    int m_blocksAcross = 0;
    std::vector<quint32> m_ranks; // mosaic: the order in which each block turns, made once
    double m_turns = 0;           // signed, in whole turns: 1 = 360 degrees anticlockwise
    int m_width;
    int m_height;

    // Per frame.
    double m_p = 0;
    int m_alpha = 0; // fade, 0..256
    // Inverse map of the turn and the growth: picture position = origin + x * dx + y * dy, in
    // 16.16 fixed point; the new picture covers [m_left, m_right) x [m_top, m_bottom) at most.
    qint64 m_ux = 0, m_uy = 0, m_u0 = 0;
    qint64 m_vx = 0, m_vy = 0, m_v0 = 0;
    int m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
    quint64 m_threshold = 0; // mosaic: blocks ranked below it are new

    // Mosaic: a select mask per column for one block row, refilled only when the row of blocks,
    // the columns or the frame change.
    mutable std::vector<quint32> m_mask;
    mutable int m_maskBlockRow = -1;
    mutable int m_maskFrom = 0;
    mutable int m_maskTo = 0;
    mutable quint64 m_maskThreshold = 0;
};
