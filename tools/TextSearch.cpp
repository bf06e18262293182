#include "TextSearch.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zk {

namespace {

inline char FoldByte(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

void FoldBytes(char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        p[i] = FoldByte(p[i]);
}

// The line ends in [p, end): every LF, and every CR that no LF follows
// inside the range (the pair is one end).
std::int64_t CountLineEnds(const char *p, const char *end)
{
    std::int64_t n = 0;
#ifdef __SSE2__
    // Per-byte counters (an end is -1, subtracted), summed before they could
    // overflow. The second load looks one byte ahead for the LF of a pair.
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    while (end - p > 16) {
        __m128i counts = _mm_setzero_si128();
        for (int i = 0; i < 255 && end - p > 16; ++i, p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
            const __m128i isCR = _mm_cmpeq_epi8(v, cr);
            const __m128i ends = _mm_or_si128(isCR, _mm_cmpeq_epi8(v, lf));
            // A CR with its LF: counted at the LF only.
            const __m128i pairs = _mm_and_si128(isCR, _mm_cmpeq_epi8(next, lf));
            counts = _mm_sub_epi8(counts, _mm_andnot_si128(pairs, ends));
        }
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        n += _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
    }
#endif
    for (; p < end; ++p)
        n += *p == '\n' || (*p == '\r' && !(p + 1 < end && p[1] == '\n'));
    return n;
}

// Line counting over a stream cut into pieces: a CR ends a line, an LF ends
// one unless it follows a CR (the pair is one end).
struct TLineCounter
{
    std::int32_t line = 1;
    bool prevCR = false;

    void Count(const char *p, const char *end)
    {
        if (p >= end)
            return;
        if (prevCR && *p == '\n')
            ++p;
        line += std::int32_t(CountLineEnds(p, end));
        prevCR = end[-1] == '\r';
    }
};

// A literal text with the two probe bytes a match is first tested at: the
// ones least likely in files, so that few places get the full compare.
class TMatcher
{
public:
    TMatcher(const QByteArray &text, bool caseSensitive)
        : m_text(text)
        , m_caseSensitive(caseSensitive)
    {
        const int m = int(m_text.size());
        if (m < 2)
            return;
        // Rough ranks of how common a byte is in text and binaries (higher
        // is more common); the two rarest places of the text are probed.
        const auto rank = [this](unsigned char c) {
            if (!m_caseSensitive && c >= 'A' && c <= 'Z')
                c = static_cast<unsigned char>(c + 32);
            if (c == ' ' || c == 'e' || c == 't' || c == 'a' || c == 'o' || c == 'i' || c == 'n' || c == 's' ||
                c == 'r' || c == '\n' || c == 0 || c == 0xff)
                return 4;
            if (c >= 'a' && c <= 'z')
                return 3;
            if (c >= '0' && c <= '9')
                return 2;
            if (c >= 'A' && c <= 'Z')
                return 1;
            return c < 0x80 ? 2 : 0;
        };
        int first = -1, second = -1;
        for (int i = 0; i < m; ++i) {
            const int r = rank(static_cast<unsigned char>(m_text[i]));
            if (first < 0 || r < rank(static_cast<unsigned char>(m_text[first]))) {
                second = first;
                first = i;
            } else if (second < 0 || r < rank(static_cast<unsigned char>(m_text[second]))) {
                second = i;
            }
        }
        m_probe1 = std::min(first, second);
        m_probe2 = std::max(first, second);
    }

    // The first occurrence that starts at from or behind it and ends by end.
    const char *Find(const char *from, const char *end) const
    {
        const std::ptrdiff_t m = m_text.size();
        if (end - from < m)
            return nullptr;
        if (m_caseSensitive && m == 1)
            return static_cast<const char *>(std::memchr(from, m_text[0], std::size_t(end - from)));
        const char *p = from;
#ifdef __SSE2__
        {
            // A text of one byte probes it twice.
            const char c1 = m_text[m_probe1], c2 = m_text[m_probe2];
            const __m128i b1 = _mm_set1_epi8(c1), b2 = _mm_set1_epi8(c2);
            // Without case, a letter probe also takes its small form.
            const __m128i a1 = _mm_set1_epi8(Folds(c1) ? char(c1 + 32) : c1);
            const __m128i a2 = _mm_set1_epi8(Folds(c2) ? char(c2 + 32) : c2);
            for (; end - p >= m + 15; p += 16) {
                const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + m_probe1));
                const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + m_probe2));
                const __m128i e1 = _mm_or_si128(_mm_cmpeq_epi8(v1, b1), _mm_cmpeq_epi8(v1, a1));
                const __m128i e2 = _mm_or_si128(_mm_cmpeq_epi8(v2, b2), _mm_cmpeq_epi8(v2, a2));
                unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(e1, e2)));
                while (mask) {
                    const char *at = p + __builtin_ctz(mask);
                    if (Equal(at))
                        return at;
                    mask &= mask - 1;
                }
            }
        }
#endif
        for (; end - p >= m; ++p)
            if (Equal(p))
                return p;
        return nullptr;
    }

    std::ptrdiff_t Size() const { return m_text.size(); }

private:
    bool Folds(char c) const { return !m_caseSensitive && c >= 'A' && c <= 'Z'; }

    bool Equal(const char *at) const
    {
        const std::size_t m = std::size_t(m_text.size());
        if (m_caseSensitive)
            return std::memcmp(at, m_text.constData(), m) == 0;
        for (std::size_t i = 0; i < m; ++i)
            if (FoldByte(at[i]) != m_text[qsizetype(i)])
                return false;
        return true;
    }

    QByteArray m_text; // folded when the case does not count
    bool m_caseSensitive;
    int m_probe1 = 0, m_probe2 = 0;
};

QByteArray Joined(const QByteArray &folder, const char *name)
{
    QByteArray full = folder;
    if (!full.endsWith('/'))
        full += '/';
    return full + name;
}

} // namespace

TTextSearcher::TTextSearcher(const QByteArray &text, bool caseSensitive)
    : m_text(text)
    , m_caseSensitive(caseSensitive)
{
    if (!m_caseSensitive)
        FoldBytes(m_text.data(), std::size_t(m_text.size()));
}

void TTextSearcher::SearchFile(const QString &fileName, const THitSink &sink, const std::atomic_bool &stop) const
{
    SearchPath(QFile::encodeName(fileName), fileName, sink, stop);
}

void TTextSearcher::SearchPath(const QByteArray &path, const QString &fileName, const THitSink &sink,
                               const std::atomic_bool &stop) const
{
    // Not blocking: a FIFO would otherwise wait for a writer at the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        TTextHit hit{fileName, 0, err == ELOOP ? TSearchFault::Link : TSearchFault::Open, err};
        sink(hit);
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        sink(TTextHit{fileName, 0, TSearchFault::NotRegular, 0});
        return;
    }
    SearchOpenFile(fd, fileName, sink, stop);
    ::close(fd);
}

void TTextSearcher::SearchOpenFile(int fd, const QString &fileName, const THitSink &sink,
                                   const std::atomic_bool &stop) const
{
    if (m_text.isEmpty())
        return;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    const std::size_t keep = std::size_t(m_text.size()) - 1; // a hit may start in the last block
    // One buffer a thread, kept: a fresh megabyte a file would cost its
    // page faults every time.
    thread_local std::unique_ptr<char[]> buffer;
    thread_local std::size_t capacity = 0;
    if (capacity < keep + BlockSize) {
        capacity = keep + BlockSize;
        buffer.reset(new char[capacity]);
    }
    char *const base = buffer.get();
    std::size_t carry = 0;   // bytes of the previous block at the front
    std::size_t skip = 0;    // of those, the ones a hit has used up
    std::size_t counted = 0; // of those, the ones the line count has passed
    TLineCounter lines;
    const TMatcher matcher(m_text, m_caseSensitive);
    while (!stop.load(std::memory_order_relaxed)) {
        std::size_t got = 0;
        while (got < BlockSize) {
            const ssize_t n = ::read(fd, base + carry + got, BlockSize - got);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                sink(TTextHit{fileName, 0, TSearchFault::Read, errno});
                return;
            }
            if (n == 0)
                break;
            got += std::size_t(n);
        }
        if (got == 0)
            return;
        char *const fresh = base + carry;
        char *const end = fresh + got;
        const char *countedTo = base + counted;
        const char *from = base + skip;
        std::size_t hitEnd = 0; // offset behind the last hit, from base
        while (const char *at = matcher.Find(from, end)) {
            if (at > countedTo) {
                lines.Count(countedTo, at);
                countedTo = at;
            }
            sink(TTextHit{fileName, lines.line, TSearchFault::None, 0});
            from = at + m_text.size();
            hitEnd = std::size_t(from - base);
        }
        const std::size_t total = carry + got;
        const std::size_t nextCarry = std::min(keep, total);
        const std::size_t tailStart = total - nextCarry;
        // The bytes carried on are counted with the next block: a hit that
        // starts among them and holds a line end must get the line it
        // starts on.
        if (countedTo < base + tailStart) {
            lines.Count(countedTo, base + tailStart);
            countedTo = base + tailStart;
        }
        counted = std::size_t(countedTo - base) - tailStart;
        skip = hitEnd > tailStart ? hitEnd - tailStart : 0;
        std::memmove(base, base + tailStart, nextCarry);
        carry = nextCarry;
        if (got < BlockSize)
            return;
    }
}

void TTextSearcher::SearchFolder(const QString &folder, bool recursive, const THitSink &sink,
                                 const std::atomic_bool &stop) const
{
    SearchTree(QFile::encodeName(folder), recursive, sink, stop);
}

void TTextSearcher::SearchTree(QByteArray path, bool recursive, const THitSink &sink,
                               const std::atomic_bool &stop) const
{
    // A root given with its separator must not end up with two.
    while (path.size() > 1 && path.endsWith("//"))
        path.chop(1);
    DIR *dir = ::opendir(path.constData());
    if (!dir) {
        const int err = errno;
        sink(TTextHit{QFile::decodeName(path), 0, TSearchFault::Open, err});
        return;
    }
    struct Entry
    {
        QByteArray name;
        unsigned char type;
    };
    std::vector<Entry> entries;
    while (const dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        entries.push_back({QByteArray(e->d_name), e->d_type});
    }
    ::closedir(dir);
    // A stable order, whatever the file system hands out.
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });
    for (Entry &e : entries) {
        if (stop.load(std::memory_order_relaxed))
            return;
        const QByteArray full = Joined(path, e.name.constData());
        unsigned char type = e.type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::lstat(full.constData(), &st) != 0)
                type = DT_REG; // the open reports why
            else if (S_ISDIR(st.st_mode))
                type = DT_DIR;
            else if (S_ISLNK(st.st_mode))
                type = DT_LNK;
            else if (S_ISREG(st.st_mode))
                type = DT_REG;
            else
                type = DT_FIFO;
        }
        // The name is opened by its bytes: one that is not UTF-8 would not
        // come back the same from its decoded form.
        const QString name = QFile::decodeName(full);
        switch (type) {
        case DT_DIR:
            if (recursive)
                SearchTree(full + '/', true, sink, stop);
            break;
        case DT_LNK:
            sink(TTextHit{name, 0, TSearchFault::Link, 0});
            break;
        case DT_REG:
            SearchPath(full, name, sink, stop);
            break;
        default:
            sink(TTextHit{name, 0, TSearchFault::NotRegular, 0});
            break;
        }
    }
}

// ---------------------------------------------------------------------------

TFndTxtThread::TFndTxtThread(const QString &SearchText_, TFoundEvent OnFound_, const QString &Path_,
                             bool CaseSensitive_, QObject *parent)
    : QThread(parent)
    , SearchText(SearchText_)
    , CaseSensitive(CaseSensitive_)
    , Mode(0)
    , Path(Path_)
    , OnFound(std::move(OnFound_))
{
    qRegisterMetaType<QList<zk::TTextHit>>();
    connect(this, &TFndTxtThread::HitsFound, this, &TFndTxtThread::Deliver, Qt::QueuedConnection);
}

TFndTxtThread::TFndTxtThread(const QString &SearchText_, TFoundEvent OnFound_, const QString &Path_,
                             bool CaseSensitive_, bool Recursive_, QObject *parent)
    : TFndTxtThread(SearchText_, std::move(OnFound_), Path_, CaseSensitive_, parent)
{
    Mode = 1;
    Recursive = Recursive_;
}

TFndTxtThread::~TFndTxtThread()
{
    Stop();
    wait();
}

void TFndTxtThread::run()
{
    Execute();
}

void TFndTxtThread::Execute()
{
    // The text as the user typed it, in the bytes file names and contents
    // use here.
    const TTextSearcher searcher(SearchText.toUtf8(), CaseSensitive);
    QList<TTextHit> batch;
    QElapsedTimer sinceSent;
    sinceSent.start();
    const auto flush = [&] {
        if (batch.isEmpty())
            return;
        emit HitsFound(batch);
        batch.clear();
        sinceSent.restart();
    };
    const auto sink = [&](const TTextHit &hit) {
        batch.append(hit);
        if (batch.size() >= 256 || sinceSent.elapsed() >= 100)
            flush();
    };
    if (Mode == 0)
        searcher.SearchFile(Path, sink, m_stop);
    else
        searcher.SearchFolder(Path, Recursive, sink, m_stop);
    flush();
}

void TFndTxtThread::Deliver(const QList<TTextHit> &hits)
{
    if (OnFound)
        OnFound(hits);
}

} // namespace zk
