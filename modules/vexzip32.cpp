// The zip module: packs the files listed in "zipfiles.dat" of the program
// folder into the archive named on its first line (see docs/modules.md).
#include "ModuleProtocol.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#define ZK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string withSlash(std::string dir)
{
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

bool writableDir(const std::string &dir)
{
    struct stat st{};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK) == 0;
}

// The program folder by the program's own rule: the executable's folder when
// it is writable, else $XDG_DATA_HOME/Zelkora/.
std::string programDir()
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string path(exe, std::size_t(n));
        const std::string dir = withSlash(path.substr(0, path.rfind('/')));
        if (writableDir(dir))
            return dir;
    }
    const char *xdg = std::getenv("XDG_DATA_HOME");
    std::string dataHome;
    if (xdg && *xdg)
        dataHome = xdg;
    else if (const char *home = std::getenv("HOME"))
        dataHome = std::string(home) + "/.local/share";
    return withSlash(withSlash(dataHome) + "Zelkora");
}

bool readFile(const std::string &path, std::string *out)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[65536];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->append(buf, got);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool validUtf8(const std::string &s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int more = 0;
        unsigned min = 0, cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3, min = 0x10000, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= s.size())
            return false;
        for (int k = 1; k <= more; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (d & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

void appendUtf8(std::string &out, unsigned cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 to UTF-8; the five unassigned bytes keep their Latin-1 value.
std::string fromWindows1252(const std::string &s)
{
    static const unsigned short high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        appendUtf8(out, c >= 0x80 && c < 0xA0 ? high[c - 0x80] : c);
    }
    return out;
}

// The list's lines without their line ends; a final line end adds no line.
std::vector<std::string> listLines(std::string text)
{
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    if (!validUtf8(text))
        text = fromWindows1252(text);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

std::string baseName(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return "./";
    return slash == 0 ? "/" : path.substr(0, slash + 1);
}

bool readableFile(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st{};
    const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return ok;
}

// Read without changing it: umask() itself would briefly affect every
// thread of the program.
mode_t currentUmask()
{
    std::string status;
    if (readFile("/proc/self/status", &status)) {
        const std::size_t at = status.find("\nUmask:");
        if (at != std::string::npos)
            return mode_t(std::strtoul(status.c_str() + at + 7, nullptr, 8));
    }
    return 022;
}

bool packFiles(int level)
{
    std::string text;
    if (!readFile(programDir() + "zipfiles.dat", &text))
        return false;
    std::vector<std::string> lines = listLines(text);
    if (lines.empty() || lines[0].empty())
        return false;
    const std::string archive = lines[0];
    std::vector<std::string> files;
    std::set<std::string> names;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue; // blank lines carry no file
        if (!readableFile(lines[i]) || !names.insert(baseName(lines[i])).second)
            return false;
        files.push_back(lines[i]);
    }
    if (files.empty() || baseName(archive).empty() || !writableDir(folderOf(archive)))
        return false;

    // The archive is built under a temporary name beside the target and
    // renamed over it only when complete, so an older archive survives.
    std::string temp = archive + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    close(fd);
    int err = 0;
    zip_t *z = zip_open(temp.c_str(), ZIP_TRUNCATE, &err);
    if (!z) {
        unlink(temp.c_str());
        return false;
    }
    const std::uint32_t compLevel = std::uint32_t(std::clamp(level, 1, 9));
    bool ok = true;
    for (const std::string &file : files) {
        zip_source_t *src = zip_source_file(z, file.c_str(), 0, -1);
        if (!src) {
            ok = false;
            break;
        }
        const zip_int64_t idx = zip_file_add(z, baseName(file).c_str(), src, ZIP_FL_ENC_UTF_8);
        if (idx < 0) {
            zip_source_free(src);
            ok = false;
            break;
        }
        if (zip_set_file_compression(z, zip_uint64_t(idx), ZIP_CM_DEFLATE, compLevel) != 0) {
            ok = false;
            break;
        }
    }
    if (!ok || zip_close(z) != 0) {
        zip_discard(z);
        unlink(temp.c_str());
        return false;
    }
    // mkstemp made the file private; the archive gets the usual mode.
    chmod(temp.c_str(), 0666 & ~currentUmask());
    if (rename(temp.c_str(), archive.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

ZK_EXPORT std::uint8_t ProceedFiles(std::int32_t level, std::uint8_t, std::uint8_t)
{
    return packFiles(level) ? 1 : 0;
}
