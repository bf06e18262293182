// JPEG at quality 90 (full-resolution colour, as the program writes it) of
// the real desktop capture and the real photo, our codec beside
// libjpeg-turbo called in the same process with the same settings: encode
// from the 24-bit bitmap as the save and conversion paths do (no copy of the
// picture), decode of the same file into 24-bit rows made afresh on both
// sides, whose pixels are then compared.
// Goals: encode and decode <= 1.1 x libjpeg's time.
#include "BenchKit.h"
#include "Jpeg.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

// libjpeg's errors end the benchmark: the inputs are our own valid pictures.
void die(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    std::exit(3);
}

std::vector<unsigned char> peerEncode(const zk::TBitmap &b)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    err.error_exit = die;
    jpeg_create_compress(&c);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(b.Width());
    c.image_height = JDIMENSION(b.Height());
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    for (int i = 0; i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(b.ScanLine(int(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<unsigned char> file(out, out + size);
    std::free(out);
    return file;
}

void peerDecode(const QByteArray &file, std::vector<unsigned char> &pixels)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    err.error_exit = die;
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char *>(file.constData()), (unsigned long)file.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const size_t stride = (size_t(d.output_width) * 3 + 3) & ~size_t(3);
    pixels.resize(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels.data() + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

void run(const char *label, const zk::TBitmap &bitmap)
{
    const int rounds = zkbench::Rounds(15);
    char name[96];
    QByteArray ours;
    std::vector<unsigned char> peer;
    std::snprintf(name, sizeof name, "%s encode q90", label);
    zkbench::Print(name,
                   zkbench::Turns(
                       [&] {
                           // As the program saves a picture: the JPEG class
                           // compresses the bitmap's rows where they lie.
                           zk::TJPEGImage j;
                           j.SetCompressionQuality(90);
                           ours = j.CompressBitmap(bitmap);
                       },
                       [&] { peer = peerEncode(bitmap); }, rounds),
                   1.1);
    if (ours.size() != qsizetype(peer.size()))
        std::printf("  note: file sizes differ (ours %lld, libjpeg %zu)\n", (long long)ours.size(), peer.size());

    const QByteArray file(reinterpret_cast<const char *>(peer.data()), qsizetype(peer.size()));
    std::snprintf(name, sizeof name, "%s decode", label);
    zkbench::Print(name,
                   zkbench::Turns(
                       [&] {
                           zk::TJPEGImage j;
                           j.LoadFromData(file);
                           asm volatile("" : : "r"(j.Bitmap().ScanLine(0)) : "memory");
                       },
                       [&] {
                           // Rows of its own made afresh, as ours are.
                           std::vector<unsigned char> pixels;
                           peerDecode(file, pixels);
                       },
                       rounds),
                   1.1);
    // Both decoders from the same file must agree to within one level per
    // channel (their colour conversions may round differently).
    zk::TJPEGImage j;
    j.LoadFromData(file);
    std::vector<unsigned char> pixels;
    peerDecode(file, pixels);
    const std::size_t used = std::size_t(bitmap.Width()) * 3, stride = (used + 3) & ~std::size_t(3);
    int worst = 0;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (std::size_t i = 0; i < used; ++i)
            worst = std::max(worst, std::abs(int(j.Bitmap().ScanLine(y)[i]) - int(pixels[stride * std::size_t(y) + i])));
    if (worst > 1) {
        std::fprintf(stderr, "%s: the decoders differ by %d levels\n", label, worst);
        std::exit(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    run("JPEG desktop", zkbench::Desktop());
    run("JPEG photo", zkbench::Photo());
    return 0;
}
