#include "PngWriter.h"

#include "base/SafeFile.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <vector>
#include <zlib.h>

namespace {

// Pictures waiting to be written; more would only hold memory.
constexpr size_t kMaxQueued = 4;
constexpr unsigned kMaxWriters = 4;

void appendChunk(QByteArray& out, const char* type, const QByteArray& data)
{
    const auto length = qToBigEndian(quint32(data.size()));
    out.append(reinterpret_cast<const char*>(&length), 4);
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto crc = qToBigEndian(quint32(crc32(
        0, reinterpret_cast<const Bytef*>(out.constData() + start), uInt(out.size() - start))));
    out.append(reinterpret_cast<const char*>(&crc), 4);
}

// Deflates rows as they come, at level 1 with run-length matching.
class RowDeflater
{
public:
    RowDeflater() { m_ok = deflateInit2(&m_stream, 1, Z_DEFLATED, 15, 8, Z_RLE) == Z_OK; }
    ~RowDeflater() { deflateEnd(&m_stream); }

    bool add(const Bytef* row, size_t bytes, bool last)
    {
        m_stream.next_in = const_cast<Bytef*>(row);
        m_stream.avail_in = uInt(bytes);
        const int flush = last ? Z_FINISH : Z_NO_FLUSH;
        do {
            m_stream.next_out = m_buffer;
            m_stream.avail_out = sizeof m_buffer;
            if (deflate(&m_stream, flush) == Z_STREAM_ERROR)
                return m_ok = false;
            m_out.append(reinterpret_cast<const char*>(m_buffer),
                         qsizetype(sizeof m_buffer - m_stream.avail_out));
        } while (m_stream.avail_out == 0 || (last && m_stream.avail_in > 0));
        return m_ok;
    }
    bool ok() const { return m_ok; }
    const QByteArray& output() const { return m_out; }

private:
    z_stream m_stream{};
    bool m_ok = false;
    Bytef m_buffer[1 << 16];
    QByteArray m_out;
};

// The picture's colours when there are at most 256 of them (an LED page usually has a handful).
bool collectPalette(const QImage& image, std::vector<QRgb>& palette)
{
    palette.clear();
    QRgb last = 0;
    bool haveLast = false;
    const int width = image.width();
    const int height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb c = pixels[x] | 0xFF000000;
            if (haveLast && c == last)
                continue;
            if (std::find(palette.begin(), palette.end(), c) == palette.end()) {
                if (palette.size() == 256)
                    return false;
                palette.push_back(c);
            }
            last = c;
            haveLast = true;
        }
    }
    return true;
}

} // namespace

bool writePng(const QImage& source, const QString& path)
{
    const QImage image = source.format() == QImage::Format_RGB32
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return false;
    const int width = image.width();
    const int height = image.height();
    std::vector<QRgb> palette;
    const bool indexed = collectPalette(image, palette);

    QByteArray header(13, '\0');
    qToBigEndian(quint32(width), header.data());
    qToBigEndian(quint32(height), header.data() + 4);
    header[8] = 8;               // bits per sample
    header[9] = indexed ? 3 : 2; // palette or RGB

    RowDeflater deflater;
    std::vector<Bytef> row(size_t(width) * (indexed ? 1 : 3) + 1);
    for (int y = 0; y < height && deflater.ok(); ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        Bytef* out = row.data() + 1;
        if (indexed) {
            row[0] = 0; // None: runs of one index deflate well as they are
            QRgb last = 0;
            Bytef lastIndex = 0;
            bool haveLast = false;
            for (int x = 0; x < width; ++x) {
                const QRgb c = pixels[x] | 0xFF000000;
                if (!haveLast || c != last) {
                    lastIndex =
                        Bytef(std::find(palette.begin(), palette.end(), c) - palette.begin());
                    last = c;
                    haveLast = true;
                }
                *out++ = lastIndex;
            }
        } else {
            row[0] = 1; // Sub: each byte less the same byte of the pixel to its left
            int pr = 0, pg = 0, pb = 0;
            for (int x = 0; x < width; ++x) {
                const int r = qRed(pixels[x]), g = qGreen(pixels[x]), b = qBlue(pixels[x]);
                *out++ = Bytef(r - pr);
                *out++ = Bytef(g - pg);
                *out++ = Bytef(b - pb);
                pr = r, pg = g, pb = b;
            }
        }
        deflater.add(row.data(), row.size(), y == height - 1);
    }
    if (!deflater.ok())
        return false;

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    if (indexed) {
        QByteArray entries;
        for (QRgb c : palette)
            entries.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
        appendChunk(png, "PLTE", entries);
    }
    appendChunk(png, "IDAT", deflater.output());
    appendChunk(png, "IEND", QByteArray());
    return SafeFile::write(path, png) == SafeFile::Error::None;
}

PngQueue::PngQueue()
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < std::min(cores, kMaxWriters); ++i)
        m_threads.emplace_back(&PngQueue::run, this);
}

PngQueue::~PngQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void PngQueue::write(QImage image, QString path)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() < kMaxQueued; });
    m_queue.emplace_back(std::move(image), std::move(path));
    m_changed.notify_all();
}

bool PngQueue::finish()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && m_busy == 0; });
    return !m_failed;
}

void PngQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_done; });
        if (m_queue.empty())
            return;
        auto [image, path] = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_busy;
        lock.unlock();
        const bool written = writePng(image, path);
        lock.lock();
        --m_busy;
        m_failed = m_failed || !written;
        m_changed.notify_all();
    }
}
