#pragma once
// What the picture preview decides without a window: which files make up a
// sequence, where browsing may go, the slide-show step and the viewer
// settings in the store.
#include <QString>
#include <QStringList>

#include <cstdint>

namespace zk {

// The slide show as the configuration dialog and the preview exchange it.
struct TSlideShowSettings
{
    std::int32_t Interval = 2000; // milliseconds
    bool Repeat = false;          // ping-pong at the ends
    bool Active = false;          // the show runs; never stored
    std::uint8_t Direction = 1;   // 1 forward, 0 backward
};

inline constexpr const char *ViewerKey = "Software\\Tarvendo\\Zelkora\\5.0\\GUI\\Viewer";
inline constexpr int SlideSecondsMin = 1;
inline constexpr int SlideSecondsMax = 100;

// The stored settings ("Intervall", "Repeat", "SlideSite"); the defaults when
// the key is missing. An interval outside 1..100 s comes back clamped, a
// direction other than 0 counts as forward; Active is false.
TSlideShowSettings ReadViewerSettings();
void WriteViewerSettings(const TSlideShowSettings &settings);

// The files of dir (no folders) whose names begin with stem and end with ext,
// both compared without case, as a file system without case would list them;
// names sorted without regard to case.
QStringList ListStemFiles(const QString &dir, const QString &stem, const QString &ext);
// The picture files of dir (no folders) whose extension is one of the
// picture extensions written all in lower or all in upper case, sorted
// without regard to case.
QStringList ListPictureFolder(const QString &dir);
// The capture files' stem in the Autosave folder: "ZKScan_" less its last
// five characters.
QString CaptureFileStem();

// A position in a sequence of total pictures, and what the browse buttons may
// do from it.
class TPreviewSequence
{
public:
    void Reset(int total)
    {
        m_total = total < 0 ? 0 : total;
        m_index = 0;
    }
    int Index() const { return m_index; }
    int Total() const { return m_total; }
    bool CanBack() const { return m_index > 0; }
    bool CanForward() const { return m_index < m_total - 1; }
    // Each returns whether the position moved.
    bool Next();
    bool Previous();
    bool First();
    bool Last();
    // n counted from 1; false (nothing moves) outside 1..Total.
    bool GoTo(int n);
    // One slide-show step in settings.Direction; with Repeat the direction
    // turns at either end. Returns whether the position moved.
    bool SlideStep(TSlideShowSettings &settings);

private:
    int m_index = 0;
    int m_total = 0;
};

// The number typed into the go-to box, or 0 when it is empty or no number.
int ParseGoToNumber(const QString &text);

// The top line of a sequence: prefix + n + of + total + " : " + name.
QString SequenceCaption(const QString &prefix, const QString &of, int position, int total, const QString &name);

} // namespace zk
