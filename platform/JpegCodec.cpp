#include "JpegCodec.h"

#include "GraphicText.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

// jpeglib.h expects size_t and FILE to be declared first.
#include <jpeglib.h>
#include <jerror.h>

// libjpeg reports fatal errors through error_exit, which must not return. A
// C++ exception thrown through libjpeg's C frames is undefined behaviour, so
// error_exit longjmps back into one of the small C-style functions below
// (which hold only plain data), and the C++ caller throws afterwards.

namespace zk {
namespace {

// More scans than any sane progressive file needs; a crafted file with
// thousands of tiny scans would otherwise keep the decoder busy for minutes.
constexpr int kMaxScans = 500;

struct ErrorMgr {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void zkJpegErrorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorMgr *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

extern "C" void zkJpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    // A stream that ends early, or whose coded data stops at a marker
    // (a cut file with an end marker after it), decodes with the missing
    // part painted grey: data would be lost without a word, so it counts as
    // an error. Other warnings (stray bytes between markers) leave the
    // picture whole.
    if (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER)
        zkJpegErrorExit(cinfo);
    cinfo->err->num_warnings++;
}

extern "C" void zkJpegOutputMessage(j_common_ptr) {}

extern "C" void zkJpegProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto *d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto *err = reinterpret_cast<ErrorMgr *>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "Too many scans in progressive JPEG (over %d)",
                      kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

void initErrorMgr(ErrorMgr *err)
{
    jpeg_std_error(&err->pub);
    err->pub.error_exit = zkJpegErrorExit;
    err->pub.emit_message = zkJpegEmitMessage;
    err->pub.output_message = zkJpegOutputMessage;
    err->message[0] = '\0';
}

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    ErrorMgr err;
    jpeg_progress_mgr progress;
    bool created;
};

struct DecodeParams {
    int scaleDenom;
    bool grayscale;
    bool quantize;
    bool fast;
};

// CMYK and YCCK files cannot be turned into RGB by libjpeg: they come out as
// CMYK and are converted here.
bool isFourColour(const jpeg_decompress_struct &cinfo)
{
    return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

// Phase one: header and output size, so the caller can check the size limit
// before anything big is allocated.
int decodeHeader(DecodeJob *job, const unsigned char *data, unsigned long size, const DecodeParams *p)
{
    job->cinfo.err = &job->err.pub;
    if (setjmp(job->err.jump))
        return 0;
    jpeg_create_decompress(&job->cinfo);
    job->created = true;
    job->progress.progress_monitor = zkJpegProgress;
    job->cinfo.progress = &job->progress;
    jpeg_mem_src(&job->cinfo, data, size);
    jpeg_read_header(&job->cinfo, TRUE);
    if (p) {
        job->cinfo.scale_num = 1;
        job->cinfo.scale_denom = static_cast<unsigned>(p->scaleDenom);
        if (isFourColour(job->cinfo)) {
            // Converted to colour or grey below; never quantised.
            job->cinfo.out_color_space = JCS_CMYK;
        } else if (p->grayscale) {
            job->cinfo.out_color_space = JCS_GRAYSCALE;
        } else {
            job->cinfo.out_color_space = JCS_EXT_BGR;
            if (p->quantize) {
                job->cinfo.quantize_colors = TRUE;
                job->cinfo.desired_number_of_colors = 256;
                job->cinfo.two_pass_quantize = p->fast ? FALSE : TRUE;
                job->cinfo.dither_mode = p->fast ? JDITHER_ORDERED : JDITHER_FS;
            }
        }
        if (p->fast) {
            job->cinfo.dct_method = JDCT_IFAST;
            job->cinfo.do_fancy_upsampling = FALSE;
        }
        jpeg_calc_output_dimensions(&job->cinfo);
    }
    return 1;
}

// Four-colour rows to B, G, R (or grey). Files with an Adobe marker (nearly
// all of them) store the inks inverted, 255 meaning none; others store them
// plain.
void cmykRowsTo(const unsigned char *cmyk, unsigned char *out, unsigned width, bool inverted, bool grey)
{
    for (unsigned x = 0; x < width; ++x, cmyk += 4) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        const unsigned b = (y * k + 127) / 255, g = (m * k + 127) / 255, r = (c * k + 127) / 255;
        if (grey) {
            *out++ = static_cast<unsigned char>((b * 29 + g * 150 + r * 77 + 128) >> 8);
        } else {
            *out++ = static_cast<unsigned char>(b);
            *out++ = static_cast<unsigned char>(g);
            *out++ = static_cast<unsigned char>(r);
        }
    }
}

// Phase two: the pixels, straight into the caller's buffer (four-colour
// rows through a strip of 16 rows).
int decodePixels(DecodeJob *job, unsigned char *pixels, std::size_t stride, unsigned int *colormap,
                 unsigned char *cmykStrip, bool cmykToGrey)
{
    if (setjmp(job->err.jump))
        return 0;
    jpeg_start_decompress(&job->cinfo);
    JSAMPROW rows[16];
    const std::size_t cmykStride = std::size_t(job->cinfo.output_width) * 4;
    while (job->cinfo.output_scanline < job->cinfo.output_height) {
        const unsigned first = job->cinfo.output_scanline;
        unsigned n = job->cinfo.output_height - first;
        if (n > 16)
            n = 16;
        for (unsigned i = 0; i < n; ++i)
            rows[i] = cmykStrip ? cmykStrip + i * cmykStride : pixels + (first + i) * stride;
        const unsigned got = jpeg_read_scanlines(&job->cinfo, rows, n);
        if (cmykStrip)
            for (unsigned i = 0; i < got; ++i)
                cmykRowsTo(rows[i], pixels + (first + i) * stride, job->cinfo.output_width,
                           job->cinfo.saw_Adobe_marker, cmykToGrey);
    }
    if (job->cinfo.quantize_colors && colormap) {
        const int n = job->cinfo.actual_number_of_colors;
        const int comps = job->cinfo.out_color_components;
        for (int i = 0; i < n && i < 256; ++i) {
            // Our output order is B, G, R, so component 2 is red.
            unsigned b = job->cinfo.colormap[0][i];
            unsigned g = comps > 1 ? job->cinfo.colormap[1][i] : b;
            unsigned r = comps > 2 ? job->cinfo.colormap[2][i] : b;
            colormap[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    jpeg_finish_decompress(&job->cinfo);
    return 1;
}

struct DecodeGuard {
    DecodeJob &job;
    ~DecodeGuard()
    {
        if (job.created)
            jpeg_destroy_decompress(&job.cinfo);
    }
};

struct EncodeJob {
    jpeg_compress_struct cinfo;
    ErrorMgr err;
    bool created;
    unsigned char *out;
    unsigned long outSize;
};

struct EncodeParams {
    const unsigned char *pixels;
    std::size_t stride;
    unsigned width, height;
    J_COLOR_SPACE inSpace;
    int inComponents;
    int quality;
    bool progressive;
    bool grayscale;
};

int encodeRun(EncodeJob *job, const EncodeParams *p)
{
    job->cinfo.err = &job->err.pub;
    if (setjmp(job->err.jump))
        return 0;
    jpeg_create_compress(&job->cinfo);
    job->created = true;
    jpeg_mem_dest(&job->cinfo, &job->out, &job->outSize);
    job->cinfo.image_width = p->width;
    job->cinfo.image_height = p->height;
    job->cinfo.input_components = p->inComponents;
    job->cinfo.in_color_space = p->inSpace;
    jpeg_set_defaults(&job->cinfo);
    if (p->grayscale && p->inSpace != JCS_GRAYSCALE)
        jpeg_set_colorspace(&job->cinfo, JCS_GRAYSCALE);
    jpeg_set_quality(&job->cinfo, p->quality, TRUE);
    // Full-resolution colour: our pictures are screen shots, where halving
    // the colour planes smears coloured text and thin lines.
    for (int c = 0; c < job->cinfo.num_components; ++c) {
        job->cinfo.comp_info[c].h_samp_factor = 1;
        job->cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (p->progressive)
        jpeg_simple_progression(&job->cinfo);
    jpeg_start_compress(&job->cinfo, TRUE);
    JSAMPROW rows[16];
    while (job->cinfo.next_scanline < job->cinfo.image_height) {
        const unsigned first = job->cinfo.next_scanline;
        unsigned n = job->cinfo.image_height - first;
        if (n > 16)
            n = 16;
        for (unsigned i = 0; i < n; ++i)
            rows[i] = const_cast<unsigned char *>(p->pixels + (first + i) * p->stride);
        jpeg_write_scanlines(&job->cinfo, rows, n);
    }
    jpeg_finish_compress(&job->cinfo);
    return 1;
}

struct EncodeGuard {
    EncodeJob &job;
    ~EncodeGuard()
    {
        if (job.created)
            jpeg_destroy_compress(&job.cinfo);
        std::free(job.out);
    }
};

// A damaged source: the lead in the program's language, libjpeg's own text
// (or ours) after it.
[[noreturn]] void damaged(const QString &detail)
{
    throw EJPEG(GraphicFault("showmsg_graphic_jpeg_damaged", QStringLiteral("Die JPEG-Datei ist beschädigt"), detail));
}

[[noreturn]] void fail(const char *what, const char *libMessage)
{
    std::string m = what;
    if (libMessage && *libMessage) {
        m += ": ";
        m += libMessage;
    }
    throw EJPEG(QString::fromStdString(m));
}

void checkSize(std::int64_t w, std::int64_t h, std::int64_t maxPixels)
{
    if (w <= 0 || h <= 0)
        damaged(QStringLiteral("no size"));
    if (w * h > maxPixels)
        throw EJPEG(GraphicTooLarge(w, h, maxPixels));
}

bool isGreyRamp(const QImage &img)
{
    const auto table = img.colorTable();
    if (table.size() != 256)
        return false;
    for (int i = 0; i < 256; ++i)
        if ((table[i] & 0xFFFFFFu) != (static_cast<unsigned>(i) * 0x010101u))
            return false;
    return true;
}

} // namespace

JpegInfo JpegReadInfo(const QByteArray &data, std::int64_t maxPixels)
{
    if (data.isEmpty())
        damaged(QStringLiteral("0 bytes"));
    DecodeJob job{};
    DecodeGuard guard{job};
    initErrorMgr(&job.err);
    if (!decodeHeader(&job, reinterpret_cast<const unsigned char *>(data.constData()),
                      static_cast<unsigned long>(data.size()), nullptr))
        damaged(QString::fromLocal8Bit(job.err.message));
    checkSize(job.cinfo.image_width, job.cinfo.image_height, maxPixels);
    JpegInfo info;
    info.width = static_cast<int>(job.cinfo.image_width);
    info.height = static_cast<int>(job.cinfo.image_height);
    info.components = job.cinfo.num_components;
    info.progressive = job.cinfo.progressive_mode;
    return info;
}

namespace {

// Header, size checks and pixels; `target(width, height, indexed)` hands out
// the rows to decode into as {first row, bytes per row}. Returns the colour
// table of indexed output (empty for colour).
template <class Target>
QList<QRgb> decodeInto(const QByteArray &data, const JpegDecodeOptions &opt, JpegInfo *info, Target target)
{
    if (data.isEmpty())
        damaged(QStringLiteral("0 bytes"));
    if (opt.scaleDenom != 1 && opt.scaleDenom != 2 && opt.scaleDenom != 4 && opt.scaleDenom != 8)
        throw EJPEG(QStringLiteral("JPEG scale must be 1/1, 1/2, 1/4 or 1/8"));
    DecodeJob job{};
    DecodeGuard guard{job};
    initErrorMgr(&job.err);
    const DecodeParams params{opt.scaleDenom, opt.grayscale, opt.quantize, opt.fast};
    if (!decodeHeader(&job, reinterpret_cast<const unsigned char *>(data.constData()),
                      static_cast<unsigned long>(data.size()), &params))
        damaged(QString::fromLocal8Bit(job.err.message));
    // libjpeg allocates whole-picture buffers for progressive files from the
    // full size, so the limit applies to the stored size, not the scaled one.
    checkSize(job.cinfo.image_width, job.cinfo.image_height, opt.maxPixels);
    checkSize(job.cinfo.output_width, job.cinfo.output_height, opt.maxPixels);
    if (info) {
        info->width = static_cast<int>(job.cinfo.image_width);
        info->height = static_cast<int>(job.cinfo.image_height);
        info->components = job.cinfo.num_components;
        info->progressive = job.cinfo.progressive_mode;
    }

    // Four-colour files come out of libjpeg as inks and are converted here,
    // to B, G, R or, for grey output, to one grey byte a pixel. They are
    // never quantised: the palette would be one of inks.
    const bool fourColour = job.cinfo.out_color_space == JCS_CMYK;
    const bool indexed = fourColour ? opt.grayscale
                                    : job.cinfo.out_color_components == 1 || job.cinfo.quantize_colors;
    const auto [pixels, stride] = target(static_cast<int>(job.cinfo.output_width),
                                         static_cast<int>(job.cinfo.output_height), indexed);
    std::vector<unsigned char> strip(fourColour ? std::size_t(job.cinfo.output_width) * 4 * 16 : 0);
    unsigned int colormap[256];
    if (!decodePixels(&job, pixels, stride, colormap, fourColour ? strip.data() : nullptr, indexed))
        damaged(QString::fromLocal8Bit(job.err.message));
    QList<QRgb> table;
    if (job.cinfo.quantize_colors && job.cinfo.out_color_components > 1) {
        table.resize(job.cinfo.actual_number_of_colors);
        for (int i = 0; i < table.size(); ++i)
            table[i] = colormap[i];
    } else if (indexed) {
        table.resize(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(i, i, i);
    }
    return table;
}

} // namespace

QImage JpegDecode(const QByteArray &data, const JpegDecodeOptions &opt)
{
    QImage img;
    const QList<QRgb> table = decodeInto(data, opt, nullptr, [&](int w, int h, bool indexed) {
        img = QImage(w, h, indexed ? QImage::Format_Indexed8 : QImage::Format_BGR888);
        if (img.isNull())
            throw EJPEG(GraphicText("showmsg_graphic_no_memory", QStringLiteral("Nicht genug Speicher für das Bild")));
        return std::pair<unsigned char *, std::size_t>(img.bits(), static_cast<std::size_t>(img.bytesPerLine()));
    });
    if (!table.isEmpty())
        img.setColorTable(table);
    return img;
}

TBitmap JpegDecodeBitmap(const QByteArray &data, const JpegDecodeOptions &opt, JpegInfo *info)
{
    PixelBuffer bits;
    int width = 0, height = 0;
    TPixelFormat pf = pf24bit;
    const QList<QRgb> table = decodeInto(data, opt, info, [&](int w, int h, bool indexed) {
        width = w;
        height = h;
        pf = indexed ? pf8bit : pf24bit;
        const std::size_t stride = BytesPerRow(w, indexed ? 8 : 24);
        const std::size_t used = BytesPerRow(w, indexed ? 8 : 24, 1);
        try {
            bits = NewPixelRows(w, h, indexed ? pf8bit : pf24bit);
        } catch (const std::bad_alloc &) {
            throw EJPEG(GraphicText("showmsg_graphic_no_memory", QStringLiteral("Nicht genug Speicher für das Bild")));
        }
        // libjpeg fills the pixels; the padding at the row ends is ours.
        if (used < stride)
            for (int y = 0; y < h; ++y)
                std::memset(bits.data() + static_cast<std::size_t>(y) * stride + used, 0, stride - used);
        return std::pair<unsigned char *, std::size_t>(bits.data(), stride);
    });
    TBitmap bitmap;
    bitmap.Adopt(width, height, pf, std::move(bits), table);
    return bitmap;
}

QByteArray JpegEncode(const QImage &source, const JpegEncodeOptions &opt, JpegInfo *info)
{
    if (source.isNull() || source.width() <= 0 || source.height() <= 0)
        throw EJPEG(QStringLiteral("Cannot write an empty picture as JPEG"));
    // JPEG's own limit: 16-bit sizes.
    if (source.width() > JPEG_MAX_DIMENSION || source.height() > JPEG_MAX_DIMENSION)
        throw EJPEG(QStringLiteral("Picture too large for JPEG (at most %1 pixels a side)")
                        .arg(JPEG_MAX_DIMENSION));

    QImage img = source;
    J_COLOR_SPACE space;
    int comps;
    switch (img.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        space = JCS_EXT_BGRX;
#else
        space = JCS_EXT_XRGB;
#endif
        comps = 4;
        break;
    case QImage::Format_BGR888:
        space = JCS_EXT_BGR;
        comps = 3;
        break;
    case QImage::Format_RGB888:
        space = JCS_RGB;
        comps = 3;
        break;
    case QImage::Format_Grayscale8:
        space = JCS_GRAYSCALE;
        comps = 1;
        break;
    case QImage::Format_Indexed8:
        if (isGreyRamp(img)) {
            space = JCS_GRAYSCALE;
            comps = 1;
            break;
        }
        [[fallthrough]];
    default:
        img = img.convertToFormat(QImage::Format_RGB32);
        if (img.isNull())
            throw EJPEG(QStringLiteral("Not enough memory to write the JPEG picture"));
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        space = JCS_EXT_BGRX;
#else
        space = JCS_EXT_XRGB;
#endif
        comps = 4;
        break;
    }

    EncodeJob job{};
    EncodeGuard guard{job};
    initErrorMgr(&job.err);
    const EncodeParams params{img.constBits(),
                              static_cast<std::size_t>(img.bytesPerLine()),
                              static_cast<unsigned>(img.width()),
                              static_cast<unsigned>(img.height()),
                              space,
                              comps,
                              opt.quality < 1 ? 1 : (opt.quality > 100 ? 100 : opt.quality),
                              opt.progressive,
                              opt.grayscale};
    if (!encodeRun(&job, &params))
        fail("JPEG picture could not be written", job.err.message);
    if (info) {
        info->width = img.width();
        info->height = img.height();
        info->components = job.cinfo.num_components;
        info->progressive = job.cinfo.progressive_mode;
    }
    return QByteArray(reinterpret_cast<const char *>(job.out), static_cast<qsizetype>(job.outSize));
}

QByteArray JpegEncodeBitmap(const TBitmap &bitmap, const JpegEncodeOptions &opt, JpegInfo *info)
{
    if (bitmap.Empty())
        return JpegEncode(QImage(), opt, info);
    // A view on the bitmap's own rows: libjpeg reads B, G, R (and X) as they are.
    const QImage::Format view = bitmap.PixelFormat() == pf24bit   ? QImage::Format_BGR888
                                : bitmap.PixelFormat() == pf32bit ? QImage::Format_RGB32
                                                                  : QImage::Format_Invalid;
    if (view == QImage::Format_Invalid)
        return JpegEncode(bitmap.ToImage(), opt, info);
    const QImage rows(bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(),
                      static_cast<qsizetype>(bitmap.Stride()), view);
    return JpegEncode(rows, opt, info);
}

} // namespace zk
