#include "vqonekeypage.h"

#include <QTransform>

#include <png.h>

#include <cstring>
#include <vector>

QSize vqPageFit(int w, int h)
{
    if (w < 1 || h < 1)
        return QSize();
    const qint64 w64 = w, h64 = h;
    if (h64 * vqFitWidth < w64 * vqFitHeight)
        return QSize(vqFitWidth, int((h64 * vqFitWidth + w64 / 2) / w64));
    return QSize(int((w64 * vqFitHeight + h64 / 2) / h64), vqFitHeight);
}

namespace {
// Where each destination pixel of an enlargement from s to d pixels samples:
// the first source index and the 8-bit weight of the next, on a 16.16 grid
// centred on the pixels. The same grid as Qt's smooth scaling, so the result
// is the same to the bit.
void vqUpGrid(int s, int d, std::vector<int>& index, std::vector<int>& weight)
{
    index.resize(size_t(d));
    weight.resize(size_t(d));
    qint64 pos = 0x8000LL * s / d - 0x8000;
    const qint64 step = (qint64(s) << 16) / d;
    for (int i = 0; i < d; ++i, pos += step) {
        const qint64 whole = pos >> 16;
        index[size_t(i)] = int(qMax<qint64>(0, whole));
        weight[size_t(i)] = whole < 0 || whole >= s - 1 ? 0 : int((pos >> 8) & 0xff);
    }
}

inline int vqMix(int a, int b, int w) { return (a * (256 - w) + b * w) >> 8; }

// Qt's smooth scaling enlarges 8-bit gray through 32-bit pixels; this does the
// same arithmetic on one channel, a quarter of the memory traffic.
QImage vqEnlargeGray(const QImage& src, const QSize& to)
{
    std::vector<int> xi, xw, yi, yw;
    vqUpGrid(src.width(), to.width(), xi, xw);
    vqUpGrid(src.height(), to.height(), yi, yw);
    QImage out(to, QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    const qsizetype stride = src.bytesPerLine();
    for (int y = 0; y < to.height(); ++y) {
        const uchar* top = src.constScanLine(yi[size_t(y)]);
        const int wy = yw[size_t(y)];
        uchar* dst = out.scanLine(y);
        for (int x = 0; x < to.width(); ++x) {
            const uchar* p = top + xi[size_t(x)];
            const int wx = xw[size_t(x)];
            int v = p[0];
            if (wy > 0) {
                // Down the columns first, then across, as Qt's SSE2 path does.
                v = vqMix(p[0], p[stride], wy);
                if (wx > 0)
                    v = vqMix(v, vqMix(p[1], p[stride + 1], wy), wx);
            } else if (wx > 0) {
                v = vqMix(p[0], p[1], wx);
            }
            dst[x] = uchar(v);
        }
    }
    return out;
}
}

QImage vqPagePicture(const QImage& grab)
{
    if (grab.isNull())
        return QImage();
    QImage gray = grab.convertToFormat(QImage::Format_Grayscale8);
    if (gray.height() < gray.width())
        gray = gray.transformed(QTransform().rotate(90), Qt::FastTransformation);
    const QSize fit = vqPageFit(gray.width(), gray.height());
    if (fit.isEmpty())
        return QImage();
    if (fit.width() >= gray.width() && fit.height() >= gray.height())
        return vqEnlargeGray(gray, fit);
    // The exact size: letting Qt keep the aspect ratio can lose a pixel.
    QImage scaled = gray.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.format() != QImage::Format_RGB32)
        scaled = scaled.convertToFormat(QImage::Format_Grayscale8);
    return scaled;
}

namespace {
void vqPngAppend(png_structp png, png_bytep data, png_size_t size)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), int(size));
}
void vqPngFlush(png_structp) {}

// Writes the canvas row by row, never holding it whole. libpng reports errors
// by longjmp: nothing with a destructor lives in this frame.
bool vqPngWrite(const QImage& picture, int level, uchar* row, QByteArray* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, vqPngAppend, vqPngFlush);
    png_set_IHDR(png, info, vqPageWidth, vqPageHeight, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Upscaled screens are smooth down the columns: one fixed filter costs a
    // fraction of the adaptive filters at about the same size.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, level);
    png_write_info(png, info);

    const int w = picture.width(), h = picture.height();
    const int left = (vqPageWidth - w) / 2, top = (vqPageHeight - h) / 2;
    const bool wide = picture.format() == QImage::Format_RGB32;
    for (int y = 0; y < vqPageHeight; ++y) {
        std::memset(row, 255, vqPageWidth);
        if (y >= top && y < top + h) {
            const uchar* src = picture.constScanLine(y - top);
            if (wide) {
                // Equal channels: one is the gray value.
                const QRgb* px = reinterpret_cast<const QRgb*>(src);
                for (int x = 0; x < w; ++x)
                    row[left + x] = uchar(qBlue(px[x]));
            } else {
                std::memcpy(row + left, src, size_t(w));
            }
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
}

QByteArray vqPagePng(const QImage& picture, int level)
{
    const bool usable = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_Grayscale8;
    if (!usable || picture.width() > vqPageWidth || picture.height() > vqPageHeight)
        return QByteArray();
    std::vector<uchar> row(vqPageWidth);
    QByteArray bytes;
    bytes.reserve(2 * 1024 * 1024);
    if (!vqPngWrite(picture, qBound(0, level, 9), row.data(), &bytes))
        return QByteArray();
    return bytes;
}
