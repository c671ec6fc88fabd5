#include "FrameEffect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr qint64 kOne = 1 << 16; // 16.16 fixed point

// A scattered but fixed order of the mosaic's blocks: every play looks the same.
quint32 blockRank(int bx, int by)
{
    quint32 h = static_cast<quint32>(bx) * 0x9E3779B1u ^ static_cast<quint32>(by) * 0x85EBCA77u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// The pixels x whose centres lie in [from, to): from ceil(from - 0.5) up to ceil(to - 0.5).
int firstPixel(double edge)
{
    const double v = std::ceil(edge - 0.5);
    return v < -1e9 ? -1000000000 : v > 1e9 ? 1000000000 : static_cast<int>(v);
}

// out = (old x (256 - a) + new x a) / 256 for every channel: in 16 bits, since the two weights
// add up to 256 no sum passes 65280. Four pixels at a time where SSE2 is there.
void blend(const QRgb* o, const QRgb* n, QRgb* out, int count, int alpha)
{
    int i = 0;
#ifdef __SSE2__
    const __m128i a = _mm_set1_epi16(static_cast<short>(alpha));
    const __m128i b = _mm_set1_epi16(static_cast<short>(256 - alpha));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= count; i += 4) {
        const __m128i vo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(o + i));
        const __m128i vn = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n + i));
        const __m128i lo =
            _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(vo, zero), b),
                                         _mm_mullo_epi16(_mm_unpacklo_epi8(vn, zero), a)),
                           8);
        const __m128i hi =
            _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(vo, zero), b),
                                         _mm_mullo_epi16(_mm_unpackhi_epi8(vn, zero), a)),
                           8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
#endif
    const auto wa = static_cast<quint32>(alpha);
    const auto wb = 256 - wa;
    for (; i < count; ++i) {
        const quint32 rb = (((o[i] & 0xFF00FFu) * wb + (n[i] & 0xFF00FFu) * wa) >> 8) & 0xFF00FFu;
        const quint32 g = (((o[i] & 0x00FF00u) * wb + (n[i] & 0x00FF00u) * wa) >> 8) & 0x00FF00u;
        const quint32 x = (((o[i] >> 24) * wb + (n[i] >> 24) * wa) >> 8) << 24;
        out[i] = x | rb | g;
    }
}

const QRgb* line(const QImage& image, int y)
{
    return reinterpret_cast<const QRgb*>(image.constScanLine(y));
}

} // namespace

FrameEffect::FrameEffect(int effect, const QImage& oldPicture, const QImage& newPicture)
    : m_old(oldPicture), m_new(newPicture), m_width(newPicture.width()),
      m_height(newPicture.height())
{
    const int n = effect - kFirst;
    if (effect <= 19) {
        m_look = Look::CornerRect;
        m_corner = n;
    } else if (effect <= 23) {
        m_look = Look::CornerDiagonal;
        m_corner = effect - 20;
    } else if (effect <= 27) {
        m_look = Look::CornerSlide;
        m_corner = effect - 24;
    } else if (effect <= 30) {
        m_look = Look::Mosaic;
        m_blockShift = 2 + (effect - 28);
        m_block = 1 << m_blockShift;
        m_blocksAcross = (m_width + m_block - 1) / m_block;
        const int blocksDown = (m_height + m_block - 1) / m_block;
        m_ranks.resize(size_t(m_blocksAcross) * size_t(std::max(0, blocksDown)));
        for (int by = 0; by < blocksDown; ++by)
            for (int bx = 0; bx < m_blocksAcross; ++bx)
                m_ranks[size_t(by) * size_t(m_blocksAcross) + size_t(bx)] = blockRank(bx, by);
        m_mask.resize(size_t(std::max(0, m_width)));
    } else if (effect == 31) {
        m_look = Look::Fade;
    } else if (effect <= 37) {
        m_look = Look::Turn;
        static constexpr double kTurns[] = {1.0, -1.0, 0.5, -0.5, 0.25, -0.25};
        m_turns = kTurns[effect - 32];
    } else if (effect <= 42) {
        m_look = Look::Grow;
        static constexpr int kCorners[] = {4, 0, 1, 2, 3};
        m_corner = kCorners[effect - 38];
    } else {
        static constexpr Look kShapes[] = {Look::Rectangle, Look::Diamond, Look::Cross,
                                           Look::Circle};
        m_look = kShapes[(effect - 43) / 2];
        m_closing = (effect - 43) % 2 == 1;
    }
}

void FrameEffect::setProgress(double progress)
{
    m_p = std::clamp(progress, 0.0, 1.0);
    const double w = m_width;
    const double h = m_height;
    switch (m_look) {
    case Look::Fade:
        m_alpha = static_cast<int>(std::lround(m_p * 256));
        break;
    case Look::Mosaic:
        m_threshold = static_cast<quint64>(m_p * 4294967296.0);
        break;
    case Look::CornerSlide: {
        // The new picture's top-left corner, coming in from the corner opposite the named one.
        const bool toLeft = m_corner == 0 || m_corner == 2;
        const bool toTop = m_corner == 0 || m_corner == 1;
        const int dx = static_cast<int>(std::lround((1 - m_p) * w));
        const int dy = static_cast<int>(std::lround((1 - m_p) * h));
        m_left = toLeft ? dx : -dx;
        m_top = toTop ? dy : -dy;
        break;
    }
    case Look::Turn:
    case Look::Grow: {
        const double s = std::max(m_p, 1e-3);
        double cx = w / 2;
        double cy = h / 2;
        double angle = 0;
        if (m_look == Look::Turn) {
            angle = (1 - m_p) * m_turns * 2 * std::numbers::pi;
        } else if (m_corner != 4) {
            // Grows out of its corner: that corner stays where it is.
            cx = (m_corner == 1 || m_corner == 3) ? w : 0;
            cy = (m_corner == 2 || m_corner == 3) ? h : 0;
        }
        // Picture position of screen pixel (x, y): the centre plus the turned-back offset of
        // the pixel's centre, divided by the scale.
        const double c = std::cos(angle) / s;
        const double sn = std::sin(angle) / s;
        const double ux = c, uy = sn, vx = -sn, vy = c;
        const double u0 = cx + (0.5 - cx) * ux + (0.5 - cy) * uy;
        const double v0 = cy + (0.5 - cx) * vx + (0.5 - cy) * vy;
        m_ux = std::llround(ux * kOne);
        m_uy = std::llround(uy * kOne);
        m_vx = std::llround(vx * kOne);
        m_vy = std::llround(vy * kOne);
        m_u0 = std::llround(u0 * kOne);
        m_v0 = std::llround(v0 * kOne);
        // Where the new picture can be at all: its turned and scaled corners' bounding box.
        const double fc = std::cos(angle) * s;
        const double fs = std::sin(angle) * s;
        double minX = 1e18, maxX = -1e18, minY = 1e18, maxY = -1e18;
        for (const auto& [px, py] : {std::pair{0.0, 0.0}, {w, 0.0}, {0.0, h}, {w, h}}) {
            const double sx = cx + fc * (px - cx) - fs * (py - cy);
            const double sy = cy + fs * (px - cx) + fc * (py - cy);
            minX = std::min(minX, sx);
            maxX = std::max(maxX, sx);
            minY = std::min(minY, sy);
            maxY = std::max(maxY, sy);
        }
        m_left = std::clamp(static_cast<int>(std::floor(minX)) - 1, 0, m_width);
        m_right = std::clamp(static_cast<int>(std::ceil(maxX)) + 1, 0, m_width);
        m_top = std::clamp(static_cast<int>(std::floor(minY)) - 1, 0, m_height);
        m_bottom = std::clamp(static_cast<int>(std::ceil(maxY)) + 1, 0, m_height);
        break;
    }
    default:
        break;
    }
}

void FrameEffect::copyOld(int y, int from, int to, int x0, QRgb* out) const
{
    if (to > from)
        std::memcpy(out + (from - x0), line(m_old, y) + from, size_t(to - from) * sizeof(QRgb));
}

void FrameEffect::copyNew(int y, int from, int to, int x0, QRgb* out) const
{
    if (to > from)
        std::memcpy(out + (from - x0), line(m_new, y) + from, size_t(to - from) * sizeof(QRgb));
}

void FrameEffect::span(int y, int x0, int count, QRgb* out, double from, double to,
                       bool inverted) const
{
    const int end = x0 + count;
    const int a = std::clamp(firstPixel(from), x0, end);
    const int b = std::clamp(firstPixel(to), a, end);
    if (inverted) {
        copyNew(y, x0, a, x0, out);
        copyOld(y, a, b, x0, out);
        copyNew(y, b, end, x0, out);
    } else {
        copyOld(y, x0, a, x0, out);
        copyNew(y, a, b, x0, out);
        copyOld(y, b, end, x0, out);
    }
}

void FrameEffect::mapped(int y, int x0, int count, QRgb* out) const
{
    const int end = x0 + count;
    if (y < m_top || y >= m_bottom) {
        copyOld(y, x0, end, x0, out);
        return;
    }
    const int a = std::clamp(m_left, x0, end);
    const int b = std::clamp(m_right, a, end);
    copyOld(y, x0, a, x0, out);
    copyOld(y, b, end, x0, out);
    const QRgb* oldLine = line(m_old, y);
    const auto w = static_cast<quint32>(m_width);
    const auto h = static_cast<quint32>(m_height);
    qint64 u = m_u0 + m_uy * y + m_ux * a;
    qint64 v = m_v0 + m_vy * y + m_vx * a;
    for (int x = a; x < b; ++x, u += m_ux, v += m_vx) {
        const auto sx = static_cast<quint32>(u >> 16);
        const auto sy = static_cast<quint32>(v >> 16);
        out[x - x0] = (sx < w && sy < h) ? line(m_new, int(sy))[sx] : oldLine[x];
    }
}

void FrameEffect::row(int y, int x0, int count, QRgb* out) const
{
    if (count <= 0)
        return;
    const int end = x0 + count;
    if (m_p >= 1) {
        copyNew(y, x0, end, x0, out);
        return;
    }
    if (m_p <= 0) {
        copyOld(y, x0, end, x0, out);
        return;
    }
    const double w = m_width;
    const double h = m_height;
    const double yc = y + 0.5;
    const bool right = m_corner == 1 || m_corner == 3;
    const bool bottom = m_corner == 2 || m_corner == 3;
    switch (m_look) {
    case Look::CornerRect: {
        const double rw = m_p * w;
        const double rh = m_p * h;
        const bool inside = bottom ? yc >= h - rh : yc < rh;
        if (!inside)
            return copyOld(y, x0, end, x0, out);
        return right ? span(y, x0, count, out, w - rw, w, false)
                     : span(y, x0, count, out, 0, rw, false);
    }
    case Look::CornerDiagonal: {
        const double ty = (bottom ? h - yc : yc) / h;
        const double reach = (2 * m_p - ty) * w;
        if (reach <= 0)
            return copyOld(y, x0, end, x0, out);
        return right ? span(y, x0, count, out, w - reach, w, false)
                     : span(y, x0, count, out, 0, reach, false);
    }
    case Look::CornerSlide: {
        const int sy = y - m_top;
        if (sy < 0 || sy >= m_height)
            return copyOld(y, x0, end, x0, out);
        const int a = std::clamp(m_left, x0, end);
        const int b = std::clamp(m_left + m_width, a, end);
        copyOld(y, x0, a, x0, out);
        if (b > a)
            std::memcpy(out + (a - x0), line(m_new, sy) + (a - m_left),
                        size_t(b - a) * sizeof(QRgb));
        copyOld(y, b, end, x0, out);
        return;
    }
    case Look::Mosaic: {
        const int by = y >> m_blockShift;
        if (by != m_maskBlockRow || x0 != m_maskFrom || end != m_maskTo ||
            m_threshold != m_maskThreshold) {
            const quint32* ranks = m_ranks.data() + size_t(by) * size_t(m_blocksAcross);
            for (int x = x0; x < end; ++x)
                m_mask[size_t(x)] = ranks[x >> m_blockShift] < m_threshold ? ~0u : 0u;
            m_maskBlockRow = by;
            m_maskFrom = x0;
            m_maskTo = end;
            m_maskThreshold = m_threshold;
        }
        const QRgb* o = line(m_old, y) + x0;
        const QRgb* n = line(m_new, y) + x0;
        const quint32* mask = m_mask.data() + x0;
        for (int i = 0; i < count; ++i)
            out[i] = (n[i] & mask[i]) | (o[i] & ~mask[i]);
        return;
    }
    case Look::Fade:
        return blend(line(m_old, y) + x0, line(m_new, y) + x0, out, count, m_alpha);
    case Look::Turn:
    case Look::Grow:
        return mapped(y, x0, count, out);
    default:
        break;
    }

    // Radiation: the shape's span in this row, around the centre.
    const double q = m_closing ? 1 - m_p : m_p;
    const double cx = w / 2;
    const double dy = std::abs(yc - h / 2);
    double half = -1; // half the span's width; negative: the row misses the shape
    switch (m_look) {
    case Look::Rectangle:
        if (dy < q * h / 2)
            half = q * w / 2;
        break;
    case Look::Diamond:
        half = (2 * q - dy / (h / 2)) * w / 2;
        break;
    case Look::Cross: {
        const double length = std::min(1.0, 2 * q);
        if (dy < q * h / 2)
            half = length * w / 2;
        else if (dy < length * h / 2)
            half = q * w / 2;
        break;
    }
    case Look::Circle: {
        const double radius = q * std::sqrt(w * w + h * h) / 2;
        if (dy < radius)
            half = std::sqrt(radius * radius - dy * dy);
        break;
    }
    default:
        break;
    }
    if (half <= 0) {
        // Nothing of the shape in this row: old while it grows, new while it closes.
        if (m_closing)
            copyNew(y, x0, end, x0, out);
        else
            copyOld(y, x0, end, x0, out);
        return;
    }
    span(y, x0, count, out, cx - half, cx + half, m_closing);
}
