#pragma once
// Scanner and camera input over SANE, in the shape of the program's
// acquisition layer: choose a default source, acquire all pages it has
// pending as pictures, hand them out by index, free them.
//
// The states of the layer (TWAIN_State) follow the walk through SANE:
// 1 nothing loaded, 2 sane_init done, 3 devices listed, 4 device open,
// 5 enabled (the source's dialog answered, sane_start called), 6 a page is
// ready (its parameters read), 7 the page is being read. Each acquisition
// starts in state 1 and returns there.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace zk {

class TBitmap;

// A native picture of one page; owned by the caller once handed out.
using HDIB = QImage *;

// The user's choice of the default source (our dialog over the device
// list); true when a source was chosen. It is kept under
// "Software\Tarvendo\Zelkora\5.0\TWAIN", value "DefaultSource".
bool TWAIN_SelectImageSource(QWidget *Wnd);
// A whole acquisition from the default source (else the first device): the
// source's dialog (unless HideUI), then every pending page (an automatic
// document feeder gives several). Returns the last page, nullptr when none.
// PixelTypes 0: the source's own choice (nothing else is asked for here).
HDIB TWAIN_AcquireNative(QWidget *Wnd, unsigned PixelTypes);
int TWAIN_ImageCount();
// The page of the last acquisition at index, nullptr outside; the caller
// frees it with TWAIN_FreeNative.
HDIB TWAIN_GetImage(int Index);
void TWAIN_FreeNative(HDIB Dib);
// Draws the page into picture at (0, 0), the picture taking the page's size
// (what it held stays under it where it reaches).
void DibToImage(HDIB Dib, TBitmap &Picture);

// Whether SANE lists at least one scanner or camera.
bool TWAIN_SourceAvailable();
int TWAIN_State();
bool TWAIN_GetHideUI();
void TWAIN_SetHideUI(bool Hide);
// Cancels the page being read (the progress window's "Abbrechen").
void TWAIN_CancelAcquire();
// At most this many pages are kept; the source is cancelled there.
inline constexpr int kMaxTwainImages = 999;
// Lowers that limit for the next acquisitions (1..kMaxTwainImages; 0 or
// less restores it). Only the layer's own limit is reported with a message:
// a caller that asked for fewer pages expects the stop.
void TWAIN_SetPageLimit(int Pages);

QString TWAIN_DefaultSource();
void TWAIN_SetDefaultSource(const QString &Name);

// One option of the source, by SANE name ("mode", "resolution", "source",
// "tl-x", ...), with its value as text. The source's dialog fills the list
// and each acquisition sets it on the device before it starts; tests set it
// directly (with HideUI).
struct TSaneSetting
{
    QByteArray name;
    QString value;
};
void TWAIN_SetSourceSettings(const QList<TSaneSetting> &Settings);
QList<TSaneSetting> TWAIN_SourceSettings();

// What the layer shows; unset entries show our own windows. Text gives the
// program's language for our dialogs' labels.
struct TTwainHooks
{
    std::function<void(const QString &text)> ErrorBox; // caption "TWAIN Error"
    std::function<QString(const char *key, const QString &fallback)> Text;
};
TTwainHooks &TwainHooks();

// The picture of one page from SANE's frames, without a device: tests and
// the reader share it. Grey 1 bit (a set bit is black), 8 and 16 bits, RGB
// 8/16 in one frame or three (red, green, blue); 16 bits become 8 (the high
// byte); a height of -1 (unknown) takes what arrives.
class TSaneImageBuilder
{
public:
    TSaneImageBuilder() = default;
    ~TSaneImageBuilder();
    enum TFrameKind { Gray, Rgb, Red, Green, Blue };
    struct TFrame
    {
        TFrameKind kind = Gray;
        int bytesPerLine = 0;
        int pixelsPerLine = 0;
        int lines = -1; // -1: not known before the end
        int depth = 8;
        bool lastFrame = true;
    };
    // False for a frame this builder cannot take (with the reason).
    bool BeginFrame(const TFrame &frame, QString *why = nullptr);
    void Feed(const unsigned char *data, std::size_t size);
    // Where the reader may put the frame's next bytes itself, with room for
    // *room of them: the picture's own memory when the frame's lines are laid
    // out as the picture's (nothing to convert); null otherwise. What was put
    // there is then announced with Fed instead of Feed.
    unsigned char *DirectTarget(std::size_t *room);
    void Fed(std::size_t size);
    // False when the frame came short of its announced lines.
    bool EndFrame();
    // The picture once the last frame ended; empty before.
    QImage Take();
    // Of the current frame (-1 unknown), and read so far; both may be asked
    // from another thread while the reader feeds.
    std::int64_t ExpectedBytes() const { return m_expected; }
    std::int64_t ReceivedBytes() const { return m_received; }
    // Why the page's lines could not all be kept (empty when they were).
    const QString &Lost() const { return m_lost; }

private:
    void StoreLine(const unsigned char *line);
    struct TPageMemory;
    static QImage NewPageImage(int width, int height, QImage::Format format, TPageMemory **memory);
    void Prefault(TPageMemory *memory);
    void StopPrefault();
    // Two at least (one per end of the page); up to four where the cores
    // are there, which roughly halved a 600 dpi colour page from SANE's test
    // device on eight cores: the memory, not the reading, set its pace.
    static int Prefaulters();
    TPageMemory *m_prefaulting = nullptr; // the memory the helpers make, owned by m_image
    TFrame m_frame;
    QImage m_image;
    QByteArray m_pending;    // an incomplete line
    int m_row = 0;
    bool m_direct = false;       // the frame goes straight into the picture
    std::size_t m_directAt = 0;  // bytes of the frame put there so far
    std::atomic<std::int64_t> m_received{0};
    std::atomic<std::int64_t> m_expected{-1};
    bool m_done = false;
    bool m_short = false; // a pass of the page ended early
    QString m_lost;       // why lines of the page had to be dropped, if they had
};

} // namespace zk
