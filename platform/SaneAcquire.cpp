#include "SaneAcquire.h"

#include "Bitmap.h"
#include "PixelRows.h"
#include "ReaderCancel.h"
#include "Registry.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <dlfcn.h>
#include <sys/mman.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace zk {

// ---------------------------------------------------------------------------
// The scanner library, opened at the first scanner command

namespace {

// libsane brings libusb, libxml2 and libudev along; a start that never scans
// loads none of them. The functions below stand in for the library's own
// within this file.
constexpr const char *kSaneLibrary = "libsane.so.1";

struct TSaneApi
{
    decltype(&::sane_init) init = nullptr;
    decltype(&::sane_exit) exit = nullptr;
    decltype(&::sane_get_devices) getDevices = nullptr;
    decltype(&::sane_open) open = nullptr;
    decltype(&::sane_close) close = nullptr;
    decltype(&::sane_get_option_descriptor) getOptionDescriptor = nullptr;
    decltype(&::sane_control_option) controlOption = nullptr;
    decltype(&::sane_get_parameters) getParameters = nullptr;
    decltype(&::sane_start) start = nullptr;
    decltype(&::sane_read) read = nullptr;
    decltype(&::sane_cancel) cancel = nullptr;
    decltype(&::sane_strstatus) strstatus = nullptr;
};

QByteArray g_saneLoadError;

const TSaneApi *SaneApi()
{
    static TSaneApi api;
    static std::once_flag once;
    std::call_once(once, [] {
        void *lib = dlopen(kSaneLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            g_saneLoadError = dlerror();
            return;
        }
        const auto bind = [lib](auto &fn, const char *name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
            return fn != nullptr;
        };
        if (!(bind(api.init, "sane_init") && bind(api.exit, "sane_exit") &&
              bind(api.getDevices, "sane_get_devices") && bind(api.open, "sane_open") &&
              bind(api.close, "sane_close") && bind(api.getOptionDescriptor, "sane_get_option_descriptor") &&
              bind(api.controlOption, "sane_control_option") && bind(api.getParameters, "sane_get_parameters") &&
              bind(api.start, "sane_start") && bind(api.read, "sane_read") && bind(api.cancel, "sane_cancel") &&
              bind(api.strstatus, "sane_strstatus"))) {
            api = TSaneApi{};
            g_saneLoadError = QByteArray(kSaneLibrary) + ": a function is missing";
        }
    });
    return api.init ? &api : nullptr;
}

// Without the library every call fails as an unsupported operation, whose
// text says why.
SANE_Status SaneInit(SANE_Int *version, SANE_Auth_Callback authorize)
{
    const TSaneApi *api = SaneApi();
    return api ? api->init(version, authorize) : SANE_STATUS_UNSUPPORTED;
}

void SaneExit()
{
    if (const TSaneApi *api = SaneApi())
        api->exit();
}

SANE_Status SaneGetDevices(const SANE_Device ***list, SANE_Bool localOnly)
{
    const TSaneApi *api = SaneApi();
    return api ? api->getDevices(list, localOnly) : SANE_STATUS_UNSUPPORTED;
}

SANE_Status SaneOpen(SANE_String_Const name, SANE_Handle *handle)
{
    const TSaneApi *api = SaneApi();
    return api ? api->open(name, handle) : SANE_STATUS_UNSUPPORTED;
}

void SaneClose(SANE_Handle handle)
{
    if (const TSaneApi *api = SaneApi())
        api->close(handle);
}

const SANE_Option_Descriptor *SaneGetOptionDescriptor(SANE_Handle handle, SANE_Int option)
{
    const TSaneApi *api = SaneApi();
    return api ? api->getOptionDescriptor(handle, option) : nullptr;
}

SANE_Status SaneControlOption(SANE_Handle handle, SANE_Int option, SANE_Action action, void *value,
                                SANE_Int *info)
{
    const TSaneApi *api = SaneApi();
    return api ? api->controlOption(handle, option, action, value, info) : SANE_STATUS_UNSUPPORTED;
}

SANE_Status SaneGetParameters(SANE_Handle handle, SANE_Parameters *params)
{
    const TSaneApi *api = SaneApi();
    return api ? api->getParameters(handle, params) : SANE_STATUS_UNSUPPORTED;
}

SANE_Status SaneStart(SANE_Handle handle)
{
    const TSaneApi *api = SaneApi();
    return api ? api->start(handle) : SANE_STATUS_UNSUPPORTED;
}

SANE_Status SaneRead(SANE_Handle handle, SANE_Byte *data, SANE_Int maxLength, SANE_Int *length)
{
    const TSaneApi *api = SaneApi();
    return api ? api->read(handle, data, maxLength, length) : SANE_STATUS_UNSUPPORTED;
}

void SaneCancel(SANE_Handle handle)
{
    if (const TSaneApi *api = SaneApi())
        api->cancel(handle);
}

SANE_String_Const SaneStrStatus(SANE_Status status)
{
    const TSaneApi *api = SaneApi();
    return api ? api->strstatus(status) : g_saneLoadError.constData();
}

} // namespace

// ---------------------------------------------------------------------------
// Frames into a picture

namespace {

constexpr std::size_t kLargePage = std::size_t(2) << 20;

} // namespace

// A big page's memory, shared by its picture and the helpers that make it
// ahead of the reader (see Prefault); unmapped when the last of them lets go.
struct TSaneImageBuilder::TPageMemory
{
    void *data = nullptr;
    std::size_t bytes = 0;
    std::atomic_int users{1}; // the picture
    std::atomic_bool stop{false};
    // Set once a large page came dear: the rest is made of small ones.
    std::atomic_bool smallOnly{false};
    // Per 2 MB piece: taken by whoever makes it, a helper or the reader.
    std::unique_ptr<std::atomic_bool[]> taken;
    std::size_t pieces = 0;
    bool Take(std::size_t piece) { return piece < pieces && !taken[piece].exchange(true); }
    void Release()
    {
        if (users.fetch_sub(1) == 1) {
            ::munmap(data, bytes);
            delete this;
        }
    }
};

// A page's picture; a big one in memory of its own (*memory, else null), so
// that its pages can be made ahead of the reader. That memory lies on
// large-page boundaries, so that the system may clear and map it 2 MB at a
// time instead of 4 KB at a time (for a 600 dpi colour page 32 faults
// instead of 16,000); only the helpers ask for that, one large page at a
// time (see Prefault). What the reader reaches first is made of small pages.
QImage TSaneImageBuilder::NewPageImage(int width, int height, QImage::Format format, TPageMemory **memory)
{
    *memory = nullptr;
    const int depth = format == QImage::Format_Mono ? 1 : format == QImage::Format_Grayscale8 ? 8 : 24;
    const qsizetype bytesPerLine = ((qsizetype(width) * depth + 31) / 32) * 4; // QImage's own line length
    const std::size_t bytes = std::size_t(bytesPerLine) * std::size_t(height);
    if (bytes < (std::size_t(4) << 20))
        return QImage(width, height, format);
    const std::size_t rounded = (bytes + kLargePage - 1) & ~(kLargePage - 1);
    void *area = ::mmap(nullptr, rounded + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED)
        return QImage(width, height, format);
    // Only the aligned part stays mapped.
    const auto at = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t aligned = (at + kLargePage - 1) & ~std::uintptr_t(kLargePage - 1);
    if (aligned > at)
        ::munmap(area, aligned - at);
    if (const std::size_t tail = at + rounded + kLargePage - (aligned + rounded))
        ::munmap(reinterpret_cast<void *>(aligned + rounded), tail);
    void *data = reinterpret_cast<void *>(aligned);
    // Small pages until a helper asks for large ones, also where the system
    // would give large pages unasked.
    ::madvise(data, rounded, MADV_NOHUGEPAGE);
    *memory = new TPageMemory;
    (*memory)->data = data;
    (*memory)->bytes = rounded;
    (*memory)->pieces = rounded / kLargePage;
    (*memory)->taken = std::make_unique<std::atomic_bool[]>((*memory)->pieces);
    return QImage(
        static_cast<uchar *>(data), width, height, bytesPerLine, format,
        [](void *info) { static_cast<TPageMemory *>(info)->Release(); }, *memory);
}

TSaneImageBuilder::~TSaneImageBuilder()
{
    StopPrefault();
}

// Making a big picture's memory page by page as the lines arrive cost more
// than the reading itself; helpers make it ahead of the reader instead, so
// that the two overlap. Whatever they have not reached yet the reader's own
// writes make as before. The reader never waits for them: on a busy machine
// a helper may not have run yet when the page is complete, and then it only
// finds its work done; the memory stays until it lets go.
//
// A large page is cheap only while the system has one at hand: one the
// system must first assemble (compaction), or, in a virtual machine, one it
// handed back to the host while it lay free, costs some 10 ms of clearing
// instead of 0.2 ms; a page made of such costs several times its reading.
// So the helpers ask for large pages one at a time, each just before making
// it, and time each in their own processor time (a busy machine taking a
// helper off its core does not count). The first a helper makes lies at the
// far end, where the reader comes last. Once one came dear, the rest is made
// of small pages, which come from the system's small free blocks. The
// reader never meets a large page that was not asked for: where it overtakes
// the helpers it makes the piece itself, of small pages and in one call
// rather than 512 faults (see DirectTarget).
int TSaneImageBuilder::Prefaulters()
{
    static const int helpers = std::clamp(int(std::thread::hardware_concurrency()) - 1, 2, 4);
    return helpers;
}

void TSaneImageBuilder::Prefault(TPageMemory *memory)
{
#ifdef MADV_POPULATE_WRITE
    StopPrefault();
    m_prefaulting = memory;
    uchar *const bits = static_cast<uchar *>(memory->data);
    const std::size_t bytes = std::size_t(m_image.sizeInBytes());
    // Whole large pages, so that no two helpers meet in one.
    static constexpr std::size_t kChunk = kLargePage;
    const std::size_t chunks = (bytes + kChunk - 1) / kChunk;
    const std::size_t helpers = std::min<std::size_t>(std::size_t(Prefaulters()), chunks);
    for (std::size_t k = 0; k < helpers; ++k) {
        ++memory->users;
        // A helper the system will not start is simply not there: the
        // reader's own writes make its pages.
        try {
            std::thread([memory, bits, bytes, chunks, helpers, k] {
                const auto cpuNs = [] {
                    timespec t{};
                    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
                    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
                };
                // Ten times what clearing a large page at hand takes.
                static constexpr std::int64_t kDearNs = 2000000;
                const auto make = [&](std::size_t chunk) {
                    if (!memory->Take(chunk))
                        return true; // the reader came first
                    uchar *const at = bits + chunk * kChunk;
                    const std::size_t size = std::min(kChunk, bytes - chunk * kChunk);
                    const bool large = !memory->smallOnly && ::madvise(at, kChunk, MADV_HUGEPAGE) == 0;
                    const std::int64_t t0 = cpuNs();
                    if (::madvise(at, size, MADV_POPULATE_WRITE) != 0)
                        return false; // not offered here: the reader's writes make the pages
                    if (large && cpuNs() - t0 > kDearNs)
                        memory->smallOnly = true;
                    return true;
                };
                bool ok = make(chunks - 1 - k);
                const std::size_t rest = chunks - helpers; // the first ones made lie beyond
                for (std::size_t c = k; ok && c < rest && !memory->stop; c += helpers)
                    ok = make(c);
                memory->Release();
            }).detach();
        } catch (const std::system_error &) {
            memory->Release();
            break;
        }
    }
#else
    (void)memory;
#endif
}

void TSaneImageBuilder::StopPrefault()
{
    // The picture holding the memory is still here whenever this runs.
    if (m_prefaulting)
        std::exchange(m_prefaulting, nullptr)->stop = true;
}

bool TSaneImageBuilder::BeginFrame(const TFrame &frame, QString *why)
{
    StopPrefault();
    const auto fail = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    if (frame.pixelsPerLine <= 0 || frame.bytesPerLine <= 0 || frame.lines == 0 || frame.lines < -1)
        return fail(QStringLiteral("empty or bad frame size"));
    if (frame.depth != 1 && frame.depth != 8 && frame.depth != 16)
        return fail(QStringLiteral("%1 bits per sample are not supported").arg(frame.depth));
    if (frame.depth == 1 && frame.kind != Gray)
        return fail(QStringLiteral("1 bit colour is not supported"));
    const int samples = frame.kind == Rgb ? 3 : 1;
    const std::int64_t need = (std::int64_t(frame.pixelsPerLine) * samples * frame.depth + 7) / 8;
    if (frame.bytesPerLine < need)
        return fail(QStringLiteral("line shorter than its pixels"));
    const int height = frame.lines > 0 ? frame.lines : 64;
    if (std::int64_t(frame.pixelsPerLine) * height > TBitmap::MaxPixels())
        return fail(QStringLiteral("picture too large"));
    const bool separate = frame.kind == Red || frame.kind == Green || frame.kind == Blue;
    if (separate && !m_image.isNull()) {
        // A later pass of a three-pass page: same size as the first.
        if (m_image.width() != frame.pixelsPerLine || m_image.format() != QImage::Format_RGB888 ||
            (frame.lines > 0 && frame.lines != m_image.height()))
            return fail(QStringLiteral("passes of different size"));
    } else {
        m_short = false;
        m_lost.clear();
        QImage::Format format = QImage::Format_RGB888;
        if (frame.kind == Gray)
            format = frame.depth == 1 ? QImage::Format_Mono : QImage::Format_Grayscale8;
        TPageMemory *memory = nullptr;
        m_image = NewPageImage(frame.pixelsPerLine, height, format, &memory);
        if (m_image.isNull())
            return fail(QStringLiteral("out of memory"));
        if (format == QImage::Format_Mono)
            m_image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // a set bit is black
        if (separate)
            m_image.fill(Qt::black);
        else if (memory && frame.lines > 0) // a picture that grows is replaced under the helpers
            Prefault(memory);
    }
    m_frame = frame;
    m_pending.clear();
    m_row = 0;
    m_direct = frame.lines > 0 && frame.depth != 16 && (frame.kind == Gray || frame.kind == Rgb) &&
               m_image.bytesPerLine() == frame.bytesPerLine;
    m_directAt = 0;
    m_received = 0;
    m_expected = frame.lines < 0 ? -1 : std::int64_t(frame.lines) * frame.bytesPerLine;
    m_done = false;
    return true;
}

void TSaneImageBuilder::StoreLine(const unsigned char *line)
{
    if (m_frame.lines > 0 && m_row >= m_frame.lines)
        return; // more than announced: the rest is dropped
    if (!m_lost.isEmpty())
        return;
    if (m_row >= m_image.height()) {
        // Height unknown: grow by doubling. A page that cannot grow is not
        // handed out cut short.
        if (std::int64_t(m_image.width()) * m_image.height() * 2 > TBitmap::MaxPixels()) {
            m_lost = QStringLiteral("picture too large");
            return;
        }
        QImage grown = m_image.copy(0, 0, m_image.width(), m_image.height() * 2);
        if (grown.isNull()) {
            m_lost = QStringLiteral("out of memory");
            return;
        }
        m_image.swap(grown);
    }
    uchar *out = m_image.scanLine(m_row);
    const int w = m_frame.pixelsPerLine;
    const bool wide = m_frame.depth == 16;
    // SANE sends 16-bit samples in the machine's order; the high byte stays.
    const auto sample = [line, wide](int i) -> uchar {
        if (!wide)
            return line[i];
        std::uint16_t v;
        std::memcpy(&v, line + 2 * i, 2);
        return uchar(v >> 8);
    };
    switch (m_frame.kind) {
    case Gray:
        if (m_frame.depth == 1)
            std::memcpy(out, line, std::size_t((w + 7) / 8));
        else if (!wide)
            std::memcpy(out, line, std::size_t(w));
        else
            for (int x = 0; x < w; ++x)
                out[x] = sample(x);
        break;
    case Rgb:
        if (!wide)
            std::memcpy(out, line, std::size_t(w) * 3);
        else
            for (int x = 0; x < w * 3; ++x)
                out[x] = sample(x);
        break;
    case Red:
    case Green:
    case Blue: {
        const int c = m_frame.kind == Red ? 0 : m_frame.kind == Green ? 1 : 2;
        for (int x = 0; x < w; ++x)
            out[3 * x + c] = sample(x);
        break;
    }
    }
    ++m_row;
}

void TSaneImageBuilder::Feed(const unsigned char *data, std::size_t size)
{
    m_received += std::int64_t(size);
    const std::size_t bpl = std::size_t(m_frame.bytesPerLine);
    if (!m_pending.isEmpty()) {
        const std::size_t take = std::min(size, bpl - std::size_t(m_pending.size()));
        m_pending.append(reinterpret_cast<const char *>(data), qsizetype(take));
        data += take;
        size -= take;
        if (std::size_t(m_pending.size()) < bpl)
            return;
        StoreLine(reinterpret_cast<const unsigned char *>(m_pending.constData()));
        m_pending.clear();
    }
    while (size >= bpl) {
        StoreLine(data);
        data += bpl;
        size -= bpl;
    }
    if (size)
        m_pending.append(reinterpret_cast<const char *>(data), qsizetype(size));
}

unsigned char *TSaneImageBuilder::DirectTarget(std::size_t *room)
{
    const std::size_t total = std::size_t(m_frame.lines) * std::size_t(m_frame.bytesPerLine);
    if (!m_direct || m_directAt >= total)
        return nullptr; // bytes past the announced lines go through Feed, which drops them
    *room = total - m_directAt;
#ifdef MADV_POPULATE_WRITE
    // The piece the next bytes go to (and the one after, near its end),
    // where no helper has taken it yet.
    if (TPageMemory *memory = m_prefaulting) {
        static constexpr std::size_t kNear = 256 * 1024; // more than one read
        const std::size_t piece = m_directAt / kLargePage;
        const std::size_t last = (m_directAt + kNear) / kLargePage;
        for (std::size_t p = piece; p <= last; ++p)
            if (memory->Take(p))
                ::madvise(static_cast<uchar *>(memory->data) + p * kLargePage, kLargePage, MADV_POPULATE_WRITE);
    }
#endif
    return m_image.bits() + m_directAt;
}

void TSaneImageBuilder::Fed(std::size_t size)
{
    m_received += std::int64_t(size);
    m_directAt += size;
    m_row = int(m_directAt / std::size_t(m_frame.bytesPerLine));
}

bool TSaneImageBuilder::EndFrame()
{
    StopPrefault();
    const bool complete = m_lost.isEmpty() && (m_frame.lines < 0 || m_row >= m_frame.lines);
    m_short = m_short || !complete;
    if (m_frame.lines < 0 && m_row < m_image.height()) {
        if (m_row == 0)
            return false;
        m_image = m_image.copy(0, 0, m_image.width(), m_row);
    }
    if (m_frame.lastFrame)
        m_done = !m_short;
    return complete;
}

QImage TSaneImageBuilder::Take()
{
    if (!m_done)
        return {};
    m_done = false;
    return std::exchange(m_image, QImage());
}

// ---------------------------------------------------------------------------
// The layer's state

namespace {

struct TLayer
{
    std::atomic_int state{1}; // the worker moves it to 6 and 7
    bool hideUI = false;
    std::vector<QImage *> images; // entries handed out and freed become null
    int imageCount = 0;
    HDIB currentDib = nullptr;
    QList<TSaneSetting> settings;
    std::atomic<SANE_Handle> reading{nullptr};
    std::atomic_bool cancelled{false};
    int pageLimit = kMaxTwainImages;
};

TLayer &Layer()
{
    static TLayer layer;
    return layer;
}

const char *const kTwainKey = "Software\\Tarvendo\\Zelkora\\5.0\\TWAIN";

QString Tx(const char *key, const QString &fallback)
{
    const auto &text = TwainHooks().Text;
    return text ? text(key, fallback) : fallback;
}

void ErrorBox(const QString &text)
{
    if (TwainHooks().ErrorBox) {
        TwainHooks().ErrorBox(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("TWAIN Error"), text, QMessageBox::Ok);
    box.exec();
}

void ReportStatus(const char *what, SANE_Status status)
{
    ErrorBox(QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(SaneStrStatus(status)));
}

void ClearImages()
{
    TLayer &l = Layer();
    for (QImage *image : l.images)
        delete image;
    l.images.clear();
    l.imageCount = 0;
    l.currentDib = nullptr;
}

// The option of that name, its number in *index.
const SANE_Option_Descriptor *FindOption(SANE_Handle h, const QByteArray &name, SANE_Int *index)
{
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor *d = SaneGetOptionDescriptor(h, i);
        if (!d)
            return nullptr;
        if (d->name && name == d->name) {
            *index = i;
            return d;
        }
    }
}

bool Settable(const SANE_Option_Descriptor *d)
{
    return d && SANE_OPTION_IS_ACTIVE(d->cap) && SANE_OPTION_IS_SETTABLE(d->cap) && d->type != SANE_TYPE_BUTTON &&
           d->type != SANE_TYPE_GROUP && d->size > 0;
}

QString OptionText(SANE_Handle h, const QByteArray &name)
{
    SANE_Int index = 0;
    const SANE_Option_Descriptor *d = FindOption(h, name, &index);
    if (!d || !SANE_OPTION_IS_ACTIVE(d->cap) || d->size <= 0)
        return {};
    // At least one word: a value shorter than that is still read as one.
    std::vector<char> value(std::max(std::size_t(d->size), sizeof(SANE_Word)) + 1, '\0');
    if (SaneControlOption(h, index, SANE_ACTION_GET_VALUE, value.data(), nullptr) != SANE_STATUS_GOOD)
        return {};
    SANE_Word w;
    std::memcpy(&w, value.data(), sizeof w);
    switch (d->type) {
    case SANE_TYPE_STRING:
        return QString::fromLocal8Bit(value.data());
    case SANE_TYPE_BOOL:
        return w ? QStringLiteral("yes") : QStringLiteral("no");
    case SANE_TYPE_INT:
        return QString::number(w);
    case SANE_TYPE_FIXED:
        return QString::number(SANE_UNFIX(w));
    default:
        return {};
    }
}

SANE_Status SetOption(SANE_Handle h, const TSaneSetting &s)
{
    SANE_Int index = 0;
    const SANE_Option_Descriptor *d = FindOption(h, s.name, &index);
    if (!Settable(d))
        return SANE_STATUS_UNSUPPORTED;
    std::vector<char> value(std::size_t(d->size) + 1, '\0');
    SANE_Word w = 0;
    bool ok = true;
    switch (d->type) {
    case SANE_TYPE_STRING: {
        const QByteArray text = s.value.toLocal8Bit();
        if (text.size() >= d->size)
            return SANE_STATUS_INVAL;
        std::memcpy(value.data(), text.constData(), std::size_t(text.size()));
        break;
    }
    case SANE_TYPE_BOOL: {
        const QString v = s.value.trimmed().toLower();
        w = (v == QLatin1String("yes") || v == QLatin1String("true") || v == QLatin1String("1")) ? SANE_TRUE
                                                                                                  : SANE_FALSE;
        break;
    }
    case SANE_TYPE_INT:
        w = SANE_Word(s.value.toDouble(&ok));
        break;
    case SANE_TYPE_FIXED:
        w = SANE_FIX(s.value.toDouble(&ok));
        break;
    default:
        return SANE_STATUS_UNSUPPORTED;
    }
    if (!ok)
        return SANE_STATUS_INVAL;
    if (d->type != SANE_TYPE_STRING)
        for (std::size_t at = 0; at + sizeof w <= std::size_t(d->size); at += sizeof w)
            std::memcpy(value.data() + at, &w, sizeof w);
    SANE_Int info = 0;
    return SaneControlOption(h, index, SANE_ACTION_SET_VALUE, value.data(), &info);
}

// The feeder gives page after page; any other source one page a start.
bool FeedsPages(SANE_Handle h)
{
    const QString source = OptionText(h, SANE_NAME_SCAN_SOURCE).toLower();
    return source.contains(QLatin1String("adf")) || source.contains(QLatin1String("feeder")) ||
           source.contains(QLatin1String("automatic document"));
}

// n bytes from src (just read, still in the cache) into a big picture's
// memory, past the cache: the helpers that cleared that memory did so on
// other cores, and writing it in the usual way first fetches every line
// from there.
void StreamCopy(unsigned char *dst, const unsigned char *src, std::size_t n)
{
#if defined(__SSE2__)
    const std::size_t head = std::min(n, (16 - reinterpret_cast<std::uintptr_t>(dst) % 16) % 16);
    std::memcpy(dst, src, head);
    dst += head;
    src += head;
    n -= head;
    for (; n >= 64; n -= 64, dst += 64, src += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 48));
        _mm_stream_si128(reinterpret_cast<__m128i *>(dst), a);
        _mm_stream_si128(reinterpret_cast<__m128i *>(dst + 16), b);
        _mm_stream_si128(reinterpret_cast<__m128i *>(dst + 32), c);
        _mm_stream_si128(reinterpret_cast<__m128i *>(dst + 48), d);
    }
    _mm_sfence(); // the streamed bytes are in memory before anyone reads them
#endif
    std::memcpy(dst, src, n);
}

// One page, all its frames, read to the end (run on the worker).
SANE_Status ReadPage(SANE_Handle h, TSaneImageBuilder &builder, QString *why)
{
    static constexpr std::size_t kCachedRead = 64 * 1024;
    std::vector<SANE_Byte> buffer(256 * 1024);
    TLayer &l = Layer();
    // Many backends forget a cancel that comes before or during their
    // start (or between the passes of a page): the flag is looked at too.
    for (;;) {
        if (l.cancelled)
            return SANE_STATUS_CANCELLED;
        SANE_Status st = SaneStart(h);
        if (st != SANE_STATUS_GOOD)
            return st;
        if (l.cancelled)
            return SANE_STATUS_CANCELLED;
        l.state = 6;
        SANE_Parameters p;
        st = SaneGetParameters(h, &p);
        if (st != SANE_STATUS_GOOD)
            return st;
        TSaneImageBuilder::TFrame f;
        switch (p.format) {
        case SANE_FRAME_GRAY:
            f.kind = TSaneImageBuilder::Gray;
            break;
        case SANE_FRAME_RGB:
            f.kind = TSaneImageBuilder::Rgb;
            break;
        case SANE_FRAME_RED:
            f.kind = TSaneImageBuilder::Red;
            break;
        case SANE_FRAME_GREEN:
            f.kind = TSaneImageBuilder::Green;
            break;
        case SANE_FRAME_BLUE:
            f.kind = TSaneImageBuilder::Blue;
            break;
        default:
            *why = QStringLiteral("unknown frame format %1").arg(int(p.format));
            return SANE_STATUS_UNSUPPORTED;
        }
        f.bytesPerLine = p.bytes_per_line;
        f.pixelsPerLine = p.pixels_per_line;
        f.lines = p.lines;
        f.depth = p.depth;
        f.lastFrame = p.last_frame;
        if (!builder.BeginFrame(f, why))
            return SANE_STATUS_UNSUPPORTED;
        l.state = 7;
        for (;;) {
            if (l.cancelled)
                return SANE_STATUS_CANCELLED;
            SANE_Int got = 0;
            // Into the picture without converting where its lines match the
            // frame's: read in pieces that stay in the cache, then streamed.
            std::size_t room = 0;
            if (unsigned char *direct = builder.DirectTarget(&room)) {
                st = SaneRead(h, buffer.data(), SANE_Int(std::min(room, kCachedRead)), &got);
                if (st == SANE_STATUS_GOOD) {
                    StreamCopy(direct, buffer.data(), std::size_t(got));
                    builder.Fed(std::size_t(got));
                }
            } else {
                st = SaneRead(h, buffer.data(), SANE_Int(buffer.size()), &got);
                if (st == SANE_STATUS_GOOD)
                    builder.Feed(buffer.data(), std::size_t(got));
            }
            if (st == SANE_STATUS_EOF)
                break;
            if (st != SANE_STATUS_GOOD)
                return st;
        }
        if (!builder.EndFrame() && f.lastFrame) {
            if (!builder.Lost().isEmpty()) {
                *why = builder.Lost();
                return SANE_STATUS_NO_MEM;
            }
            *why = QStringLiteral("the page ended early");
            return SANE_STATUS_IO_ERROR;
        }
        if (p.last_frame)
            return SANE_STATUS_GOOD;
    }
}

// Reads one page on a worker while a progress window with "Abbrechen"
// keeps the program answering.
SANE_Status ReadPageWithProgress(SANE_Handle h, QWidget *owner, QImage *out, QString *why)
{
    TLayer &l = Layer();
    TSaneImageBuilder builder;
    std::atomic_bool done{false};
    SANE_Status status = SANE_STATUS_GOOD;
    l.reading = h;
    QEventLoop loop;
    std::thread worker([&] {
        status = ReadPage(h, builder, why);
        done = true;
        // Wakes the loop at once instead of at its next tick.
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // The window comes only for a page that takes a while.
    std::unique_ptr<QProgressDialog> progress;
    QElapsedTimer since;
    since.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done) {
            loop.quit();
            return;
        }
        if (!progress && since.elapsed() >= 400) {
            progress = std::make_unique<QProgressDialog>(
                Tx("twain_progress_text", QStringLiteral("Seite wird eingelesen...")),
                Tx("twain_progress_cancel", QStringLiteral("Abbrechen")), 0, 1000, owner);
            progress->setObjectName(QStringLiteral("TwainProgressDialog"));
            progress->setWindowTitle(QStringLiteral("SANE"));
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setMinimumDuration(0);
            progress->setAutoReset(false);
            progress->setAutoClose(false);
            QObject::connect(progress.get(), &QProgressDialog::canceled, [] { TWAIN_CancelAcquire(); });
            progress->show();
        }
        const std::int64_t expected = builder.ExpectedBytes();
        if (progress && expected > 0)
            progress->setValue(int(std::min<std::int64_t>(999, builder.ReceivedBytes() * 1000 / expected)));
    });
    tick.start(50);
    if (!done)
        loop.exec();
    // The program is ending (its event loops all quit): the page is given
    // up rather than read to its end with the program standing still.
    if (!done)
        TWAIN_CancelAcquire();
    worker.join();
    l.reading = nullptr;
    if (progress) {
        // Closing the window would count as its cancel.
        QObject::disconnect(progress.get(), nullptr, nullptr, nullptr);
        progress->hide();
    }
    if (status == SANE_STATUS_GOOD)
        *out = builder.Take();
    if (status == SANE_STATUS_GOOD && out->isNull()) {
        *why = QStringLiteral("the page ended early");
        status = SANE_STATUS_IO_ERROR;
    }
    return status;
}

// ---------------------------------------------------------------------------
// Our dialogs

struct TDeviceRow
{
    QString name, label;
};

QList<TDeviceRow> ListDevices(SANE_Status *status)
{
    const SANE_Device **list = nullptr;
    *status = SaneGetDevices(&list, SANE_FALSE);
    QList<TDeviceRow> rows;
    if (*status != SANE_STATUS_GOOD || !list)
        return rows;
    for (int i = 0; list[i]; ++i) {
        const SANE_Device *d = list[i];
        rows.append({QString::fromLocal8Bit(d->name),
                     QStringLiteral("%1 %2 (%3)").arg(QString::fromLocal8Bit(d->vendor), QString::fromLocal8Bit(d->model),
                                                      QString::fromLocal8Bit(d->name))});
    }
    return rows;
}

// The source's dialog: mode, resolution, source and area, as the device
// offers them. False when cancelled.
bool SourceDialog(SANE_Handle h, QWidget *owner)
{
    QDialog dlg(owner);
    dlg.setObjectName(QStringLiteral("TwainSourceDialog"));
    dlg.setWindowTitle(Tx("twain_source_title", QStringLiteral("Scannen")));
    auto *form = new QFormLayout;
    struct TRow
    {
        QByteArray name;
        std::function<QString()> value;
    };
    QList<TRow> rows;
    const auto addOption = [&](const char *name, const char *key, const QString &german) {
        SANE_Int index = 0;
        const SANE_Option_Descriptor *d = FindOption(h, name, &index);
        if (!Settable(d))
            return;
        const QString current = OptionText(h, name);
        QWidget *editor = nullptr;
        if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
            auto *box = new QComboBox(&dlg);
            for (const SANE_String_Const *s = d->constraint.string_list; *s; ++s)
                box->addItem(QString::fromLocal8Bit(*s));
            box->setCurrentText(current);
            rows.append({name, [box] { return box->currentText(); }});
            editor = box;
        } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            auto *box = new QComboBox(&dlg);
            const SANE_Word *list = d->constraint.word_list;
            for (SANE_Word i = 1; i <= list[0]; ++i)
                box->addItem(d->type == SANE_TYPE_FIXED ? QString::number(SANE_UNFIX(list[i]))
                                                        : QString::number(list[i]));
            box->setCurrentText(current);
            rows.append({name, [box] { return box->currentText(); }});
            editor = box;
        } else if (d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED) {
            auto *spin = new QDoubleSpinBox(&dlg);
            spin->setDecimals(d->type == SANE_TYPE_FIXED ? 1 : 0);
            if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
                const SANE_Range *r = d->constraint.range;
                const auto num = [d](SANE_Word v) { return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(v) : double(v); };
                spin->setRange(num(r->min), num(r->max));
            } else {
                spin->setRange(-1e6, 1e6);
            }
            spin->setValue(current.toDouble());
            rows.append({name, [spin] { return QString::number(spin->value()); }});
            editor = spin;
        }
        if (!editor)
            return;
        editor->setObjectName(QString::fromLatin1(name));
        form->addRow(Tx(key, german), editor);
    };
    addOption(SANE_NAME_SCAN_MODE, "twain_opt_mode", QStringLiteral("Modus:"));
    addOption(SANE_NAME_SCAN_RESOLUTION, "twain_opt_resolution", QStringLiteral("Auflösung (dpi):"));
    addOption(SANE_NAME_SCAN_SOURCE, "twain_opt_source", QStringLiteral("Quelle:"));
    addOption(SANE_NAME_SCAN_TL_X, "twain_opt_left", QStringLiteral("Links:"));
    addOption(SANE_NAME_SCAN_TL_Y, "twain_opt_top", QStringLiteral("Oben:"));
    addOption(SANE_NAME_SCAN_BR_X, "twain_opt_right", QStringLiteral("Rechts:"));
    addOption(SANE_NAME_SCAN_BR_Y, "twain_opt_bottom", QStringLiteral("Unten:"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    buttons->button(QDialogButtonBox::Ok)->setText(Tx("twain_source_scan", QStringLiteral("Scannen")));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tx("twain_progress_cancel", QStringLiteral("Abbrechen")));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto *outer = new QVBoxLayout(&dlg);
    outer->addLayout(form);
    outer->addWidget(buttons);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    QList<TSaneSetting> chosen = Layer().settings;
    for (const TRow &r : rows) {
        const TSaneSetting s{r.name, r.value()};
        chosen.erase(std::remove_if(chosen.begin(), chosen.end(), [&](const TSaneSetting &o) { return o.name == s.name; }),
                     chosen.end());
        chosen.append(s);
    }
    Layer().settings = chosen;
    return true;
}

// A hidden owner for the dialogs when the caller gives no window.
std::unique_ptr<QWidget> MakeProxy()
{
    auto proxy = std::make_unique<QWidget>();
    proxy->setObjectName(QStringLiteral("AcquireProxy"));
    proxy->setWindowTitle(QStringLiteral("Acquire Proxy"));
    // Over the window the user works in, so the dialogs open there. Right
    // after one of our dialogs closed no window is active yet: then over the
    // first visible window.
    QWidget *over = QApplication::activeWindow();
    if (!over)
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowType() == Qt::Window) {
                over = w;
                break;
            }
    if (over)
        proxy->setGeometry(over->geometry());
    return proxy;
}

} // namespace

TTwainHooks &TwainHooks()
{
    static TTwainHooks hooks;
    return hooks;
}

bool TWAIN_SourceAvailable()
{
    SANE_Int version = 0;
    if (SaneInit(&version, nullptr) != SANE_STATUS_GOOD)
        return false;
    SANE_Status status;
    const bool any = !ListDevices(&status).isEmpty();
    SaneExit();
    return any;
}

int TWAIN_State()
{
    return Layer().state;
}

bool TWAIN_GetHideUI()
{
    return Layer().hideUI;
}

void TWAIN_SetHideUI(bool Hide)
{
    Layer().hideUI = Hide;
}

void TWAIN_SetSourceSettings(const QList<TSaneSetting> &Settings)
{
    Layer().settings = Settings;
}

QList<TSaneSetting> TWAIN_SourceSettings()
{
    return Layer().settings;
}

void TWAIN_SetPageLimit(int Pages)
{
    Layer().pageLimit = Pages <= 0 ? kMaxTwainImages : std::min(Pages, kMaxTwainImages);
}

void TWAIN_CancelAcquire()
{
    TLayer &l = Layer();
    l.cancelled = true;
    // sane_cancel may be called while another thread reads: the read then
    // ends with SANE_STATUS_CANCELLED.
    if (SANE_Handle h = l.reading.load())
        SaneCancel(h);
}

QString TWAIN_DefaultSource()
{
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(QString::fromLatin1(kTwainKey)) || !reg.ValueExists(QStringLiteral("DefaultSource")))
        return {};
    try {
        return reg.ReadString(QStringLiteral("DefaultSource"));
    } catch (const ERegistryException &) {
        return {};
    }
}

void TWAIN_SetDefaultSource(const QString &Name)
{
    TRegistry reg;
    try {
        if (reg.OpenKey(QString::fromLatin1(kTwainKey), true))
            reg.WriteString(QStringLiteral("DefaultSource"), Name);
    } catch (const ERegistryException &e) {
        ErrorBox(e.message());
    }
}

bool TWAIN_SelectImageSource(QWidget *Wnd)
{
    std::unique_ptr<QWidget> proxy;
    if (!Wnd) {
        proxy = MakeProxy();
        Wnd = proxy.get();
    }
    TLayer &l = Layer();
    SANE_Int version = 0;
    if (SaneInit(&version, nullptr) != SANE_STATUS_GOOD) {
        ErrorBox(QStringLiteral("Unable to load Source Manager (SANE)"));
        return false;
    }
    l.state = 2;
    SANE_Status status;
    const QList<TDeviceRow> devices = ListDevices(&status);
    bool chosen = false;
    if (status != SANE_STATUS_GOOD) {
        ReportStatus("Unable to open Source Manager (SANE)", status);
    } else {
        l.state = 3;
        QDialog dlg(Wnd);
        dlg.setObjectName(QStringLiteral("TwainSelectDialog"));
        dlg.setWindowTitle(Tx("twain_select_title", QStringLiteral("Quelle wählen")));
        auto *list = new QListWidget(&dlg);
        list->setObjectName(QStringLiteral("TwainSourceList"));
        const QString current = TWAIN_DefaultSource();
        for (const TDeviceRow &d : devices) {
            auto *item = new QListWidgetItem(d.label, list);
            item->setData(Qt::UserRole, d.name);
            if (d.name == current)
                list->setCurrentItem(item);
        }
        if (!list->currentItem() && list->count())
            list->setCurrentRow(0);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
        buttons->button(QDialogButtonBox::Ok)->setText(Tx("twain_select_ok", QStringLiteral("Auswählen")));
        buttons->button(QDialogButtonBox::Cancel)->setText(Tx("twain_progress_cancel", QStringLiteral("Abbrechen")));
        buttons->button(QDialogButtonBox::Ok)->setEnabled(list->count() > 0);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
        QObject::connect(list, &QListWidget::itemDoubleClicked, &dlg, &QDialog::accept);
        auto *outer = new QVBoxLayout(&dlg);
        if (devices.isEmpty())
            outer->addWidget(new QLabel(Tx("twain_no_source", QStringLiteral("Kein Scanner und keine Kamera gefunden.")), &dlg));
        outer->addWidget(list);
        outer->addWidget(buttons);
        if (dlg.exec() == QDialog::Accepted && list->currentItem()) {
            TWAIN_SetDefaultSource(list->currentItem()->data(Qt::UserRole).toString());
            chosen = true;
        }
    }
    SaneExit();
    l.state = 1;
    return chosen;
}

HDIB TWAIN_AcquireNative(QWidget *Wnd, unsigned PixelTypes)
{
    Q_UNUSED(PixelTypes); // 0: the source's own pixel type; nothing else is asked for
    TLayer &l = Layer();
    ClearImages();
    l.cancelled = false;
    std::unique_ptr<QWidget> proxy;
    if (!Wnd) {
        proxy = MakeProxy();
        Wnd = proxy.get();
    }
    PrepareSaneReaders();
    SANE_Int version = 0;
    if (SaneInit(&version, nullptr) != SANE_STATUS_GOOD) {
        ErrorBox(QStringLiteral("Unable to load Source Manager (SANE)"));
        return nullptr;
    }
    l.state = 2;
    SANE_Handle h = nullptr;
    bool failed = false;
    {
        SANE_Status status;
        const QList<TDeviceRow> devices = ListDevices(&status);
        QString name = TWAIN_DefaultSource();
        if (status != SANE_STATUS_GOOD) {
            ReportStatus("Unable to open Source Manager (SANE)", status);
            failed = true;
        } else {
            l.state = 3;
            const bool known = std::any_of(devices.begin(), devices.end(), [&](const TDeviceRow &d) { return d.name == name; });
            if (!known)
                name = devices.isEmpty() ? QString() : devices.first().name;
            if (name.isEmpty()) {
                ErrorBox(Tx("twain_no_source", QStringLiteral("Kein Scanner und keine Kamera gefunden.")));
                failed = true;
            } else if ((status = SaneOpen(name.toLocal8Bit().constData(), &h)) != SANE_STATUS_GOOD) {
                ReportStatus("TWAIN_ReportLastError: an error occurred", status);
                failed = true;
                h = nullptr;
            } else {
                l.state = 4;
            }
        }
    }
    if (h) {
        for (const TSaneSetting &s : l.settings)
            SetOption(h, s); // one the device does not know is left out
        const bool go = l.hideUI || SourceDialog(h, Wnd);
        if (go) {
            for (const TSaneSetting &s : l.settings)
                SetOption(h, s);
            l.state = 5;
            const bool feeder = FeedsPages(h);
            int retries = 0;
            while (!failed && !l.cancelled) {
                QImage page;
                QString why;
                const SANE_Status st = ReadPageWithProgress(h, Wnd, &page, &why);
                l.state = 5;
                if (st == SANE_STATUS_GOOD) {
                    retries = 0;
                    l.images.push_back(new QImage(std::move(page)));
                    l.imageCount = int(l.images.size());
                    l.currentDib = l.images.back();
                    if (!feeder)
                        break;
                    if (l.imageCount >= l.pageLimit) {
                        SaneCancel(h);
                        if (l.pageLimit == kMaxTwainImages)
                            ErrorBox(Tx("twain_too_many", QStringLiteral("Es werden höchstens 999 Seiten übernommen; der Einzug wurde angehalten.")));
                        break;
                    }
                    continue;
                }
                if (st == SANE_STATUS_NO_DOCS && l.imageCount > 0)
                    break; // the feeder is empty: the batch is complete
                if (st == SANE_STATUS_CANCELLED || l.cancelled) {
                    failed = true;
                    break;
                }
                if ((st == SANE_STATUS_IO_ERROR || st == SANE_STATUS_DEVICE_BUSY) && retries < 3) {
                    ++retries;
                    SaneCancel(h);
                    continue;
                }
                QString text = QStringLiteral("TWAIN_ReportLastError: an error occurred: ") +
                               QString::fromLocal8Bit(SaneStrStatus(st));
                if (!why.isEmpty())
                    text += QStringLiteral(" (") + why + QLatin1Char(')');
                ErrorBox(text);
                failed = true;
            }
            SaneCancel(h);
        }
        SaneClose(h);
        l.state = 3;
    }
    SaneExit();
    l.state = 1;
    // A cancelled or failed acquisition hands out nothing.
    if (failed || l.cancelled)
        ClearImages();
    return l.currentDib;
}

int TWAIN_ImageCount()
{
    return Layer().imageCount;
}

HDIB TWAIN_GetImage(int Index)
{
    TLayer &l = Layer();
    if (Index < 0 || Index >= int(l.images.size()))
        return nullptr;
    return l.images[std::size_t(Index)];
}

void TWAIN_FreeNative(HDIB Dib)
{
    if (!Dib)
        return;
    TLayer &l = Layer();
    for (QImage *&entry : l.images)
        if (entry == Dib)
            entry = nullptr;
    if (l.currentDib == Dib)
        l.currentDib = nullptr;
    delete Dib;
}

void DibToImage(HDIB Dib, TBitmap &Picture)
{
    if (!Dib || Dib->isNull())
        return;
    if (Picture.Empty()) {
        if (Dib->format() != QImage::Format_RGB888) {
            Picture.Assign(*Dib);
            return;
        }
        // A colour page's red-green-blue rows become the picture's
        // blue-green-red rows in one pass, in memory the picture keeps (no
        // converted copy in between).
        const int w = Dib->width(), h = Dib->height();
        const std::size_t stride = BytesPerRow(w, 24);
        PixelBuffer bits = NewPixelRows(w, h, pf24bit);
        for (int y = 0; y < h; ++y) {
            uchar *row = bits.data() + std::size_t(y) * stride;
            Row24SwapRB(row, Dib->constScanLine(y), w);
            std::fill(row + std::size_t(w) * 3, row + stride, uchar(0));
        }
        Picture.Adopt(w, h, pf24bit, std::move(bits));
        return;
    }
    // The picture takes the page's size; what it held stays under it.
    QImage canvas(Dib->size(), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        p.drawImage(0, 0, Picture.ToImage());
        p.drawImage(0, 0, *Dib);
    }
    Picture.Assign(canvas);
}

} // namespace zk
