#include "ShmPresenter.h"

#include "canvas/BackBuffer.h"

#include <QGuiApplication>
#include <QImage>
#include <QSysInfo>

#ifdef TESSARIN_HAVE_XCB_SHM
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdlib>
#endif

#ifdef TESSARIN_HAVE_XCB_SHM

struct ShmPresenter::Connection
{
    xcb_connection_t* xcb = nullptr;
    xcb_gcontext_t gc = 0;
    uint8_t depth = 0;
    uint8_t completionEvent = 0;

    ~Connection()
    {
        if (xcb)
            xcb_disconnect(xcb);
    }
};

struct ShmPresenter::Segment
{
    int id = -1;
    uchar* memory = nullptr;
    xcb_shm_seg_t seg = 0;
    bool attached = false;
    // Put and not yet read by the server.
    bool busy = false;
    QImage image; // over `memory`

    ~Segment()
    {
        image = QImage();
        if (memory)
            shmdt(memory);
        if (id >= 0)
            shmctl(id, IPC_RMID, nullptr);
    }
};

namespace {

template <typename Reply>
struct Freed
{
    Reply* reply;
    explicit Freed(Reply* r) : reply(r) {}
    ~Freed() { std::free(reply); }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

// The visual of `visualId` on the window's screen keeps red, green and blue where a 32-bit
// QImage pixel has them.
bool visualIsRgb32(const xcb_setup_t* setup, xcb_window_t root, xcb_visualid_t visualId,
                   uint8_t depth)
{
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        if (screens.data->root != root)
            continue;
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem;
             xcb_depth_next(&depths)) {
            if (depths.data->depth != depth)
                continue;
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
                 xcb_visualtype_next(&visuals)) {
                const xcb_visualtype_t* v = visuals.data;
                if (v->visual_id == visualId)
                    return v->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v->red_mask == 0xff0000 &&
                           v->green_mask == 0x00ff00 && v->blue_mask == 0x0000ff;
            }
        }
    }
    return false;
}

bool pixelsAre32Bits(const xcb_setup_t* setup, uint8_t depth)
{
    const uint8_t ours = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? XCB_IMAGE_ORDER_LSB_FIRST
                                                                       : XCB_IMAGE_ORDER_MSB_FIRST;
    if (setup->image_byte_order != ours)
        return false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats))
        if (formats.data->depth == depth)
            return formats.data->bits_per_pixel == 32 && formats.data->scanline_pad <= 32;
    return false;
}

} // namespace

std::unique_ptr<ShmPresenter> ShmPresenter::create(quintptr window, QSize childSize)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || window == 0 ||
        childSize.isEmpty() || childSize.width() > 32767 || childSize.height() > 32767 ||
        qEnvironmentVariableIsSet("TESSARIN_NO_OWN_PUT"))
        return nullptr;
    std::unique_ptr<ShmPresenter> presenter(new ShmPresenter);
    if (!presenter->setUp(window, childSize))
        return nullptr;
    return presenter;
}

bool ShmPresenter::setUp(quintptr window, QSize childSize)
{
    m_window = window;
    m_childSize = childSize;
    m_connection = std::make_unique<Connection>();
    Connection& c = *m_connection;
    // The display Qt opened: the window lives there.
    const QByteArray display = qgetenv("DISPLAY");
    c.xcb = xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    if (!c.xcb || xcb_connection_has_error(c.xcb))
        return false;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c.xcb, &xcb_shm_id);
    if (!shm || !shm->present)
        return false;
    c.completionEvent = uint8_t(shm->first_event + XCB_SHM_COMPLETION);

    const auto drawable = xcb_window_t(window);
    Freed geometry(xcb_get_geometry_reply(c.xcb, xcb_get_geometry(c.xcb, drawable), nullptr));
    Freed attributes(xcb_get_window_attributes_reply(
        c.xcb, xcb_get_window_attributes(c.xcb, drawable), nullptr));
    if (!geometry || !attributes)
        return false; // not a window of this display
    const xcb_setup_t* setup = xcb_get_setup(c.xcb);
    if (!pixelsAre32Bits(setup, geometry->depth) ||
        !visualIsRgb32(setup, geometry->root, attributes->visual, geometry->depth))
        return false;
    c.depth = geometry->depth;

    c.gc = xcb_generate_id(c.xcb);
    const uint32_t noExposures = 0;
    xcb_create_gc(c.xcb, c.gc, drawable, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);

    const size_t bytes = size_t(childSize.width()) * 4 * size_t(childSize.height());
    m_segments = std::make_unique<Segment[]>(2);
    for (int i = 0; i < 2; ++i) {
        Segment& s = m_segments[i];
        s.id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (s.id < 0)
            return false;
        void* memory = shmat(s.id, nullptr, 0);
        if (memory == reinterpret_cast<void*>(-1))
            return false;
        s.memory = static_cast<uchar*>(memory);
        s.seg = xcb_generate_id(c.xcb);
        // A display on another machine cannot reach our memory: the attach fails there.
        Freed error(
            xcb_request_check(c.xcb, xcb_shm_attach_checked(c.xcb, s.seg, uint32_t(s.id), 1)));
        if (error)
            return false;
        s.attached = true;
        // Gone by itself when both sides have let go of it, even if the program dies.
        shmctl(s.id, IPC_RMID, nullptr);
        s.id = -1;
        s.image = QImage(s.memory, childSize.width(), childSize.height(), childSize.width() * 4,
                         QImage::Format_RGB32);
    }
    return !xcb_connection_has_error(c.xcb);
}

ShmPresenter::~ShmPresenter()
{
    if (m_connection && m_connection->xcb && !xcb_connection_has_error(m_connection->xcb)) {
        if (m_segments)
            for (int i = 0; i < 2; ++i)
                if (m_segments[i].attached)
                    xcb_shm_detach(m_connection->xcb, m_segments[i].seg);
        if (m_connection->gc)
            xcb_free_gc(m_connection->xcb, m_connection->gc);
        xcb_flush(m_connection->xcb);
    }
    m_segments.reset(); // the memory after the server let go of it
}

int ShmPresenter::wakeFd() const
{
    return m_connection && m_connection->xcb ? xcb_get_file_descriptor(m_connection->xcb) : -1;
}

bool ShmPresenter::takeEvents()
{
    xcb_connection_t* xcb = m_connection->xcb;
    while (xcb_generic_event_t* event = xcb_poll_for_event(xcb)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == 0) {
            m_broken = true; // an error: the window went, most likely
        } else if (type == m_connection->completionEvent) {
            const auto* done = reinterpret_cast<const xcb_shm_completion_event_t*>(event);
            for (int i = 0; i < 2; ++i)
                if (m_segments[i].seg == done->shmseg)
                    m_segments[i].busy = false;
        }
        std::free(event);
    }
    if (xcb_connection_has_error(xcb))
        m_broken = true;
    return !m_broken;
}

ShmPresenter::Result ShmPresenter::present(BackBuffer& child, QPoint at, QRect* copied,
                                           FrameStamps* stamps)
{
    *copied = QRect();
    if (!takeEvents())
        return Result::Failed;
    Segment* free = nullptr;
    for (int i = 0; i < 2 && !free; ++i) {
        Segment& s = m_segments[(m_next + i) % 2];
        if (!s.busy)
            free = &s;
    }
    if (!free)
        return Result::Busy;
    if (!child.copyChanged(free->image, QPoint(0, 0), copied, stamps))
        return Result::NoImage;
    if (copied->isEmpty())
        return Result::Put;
    Connection& c = *m_connection;
    xcb_shm_put_image(c.xcb, xcb_window_t(m_window), c.gc, uint16_t(m_childSize.width()),
                      uint16_t(m_childSize.height()), uint16_t(copied->x()), uint16_t(copied->y()),
                      uint16_t(copied->width()), uint16_t(copied->height()),
                      int16_t(at.x() + copied->x()), int16_t(at.y() + copied->y()), c.depth,
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 1, free->seg, 0);
    free->busy = true;
    m_next = int(free - m_segments.get() + 1) % 2;
    if (xcb_flush(c.xcb) <= 0) {
        m_broken = true;
        return Result::Failed;
    }
    return Result::Put;
}

#else // no xcb-shm at build time: the backing store presents

struct ShmPresenter::Connection
{};
struct ShmPresenter::Segment
{};

std::unique_ptr<ShmPresenter> ShmPresenter::create(quintptr, QSize)
{
    return nullptr;
}
ShmPresenter::~ShmPresenter() = default;
bool ShmPresenter::setUp(quintptr, QSize)
{
    return false;
}
int ShmPresenter::wakeFd() const
{
    return -1;
}
bool ShmPresenter::takeEvents()
{
    return false;
}
ShmPresenter::Result ShmPresenter::present(BackBuffer&, QPoint, QRect*, FrameStamps*)
{
    return Result::Failed;
}

#endif
