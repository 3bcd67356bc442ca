// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/pngfile.h"

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QtEndian>

#include <array>

namespace PngFile {

namespace {

const QByteArray kSignature("\x89PNG\r\n\x1a\n", 8);
// zlib's level 4: a chart of a million records compresses in about half the time of the
// default level, to a file about a sixth larger.
const int kLevel = 4;
const char kFilterUp = 2;
const char kTruecolour = 2;
const char kTruecolourWithAlpha = 6;
const char kMetre = 1;

quint32 crcOf(const QByteArray &bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> entries = {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes)
        crc = table[(crc ^ quint8(byte)) & 0xffu] ^ (crc >> 8);
    return crc ^ 0xffffffffu;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

bool writeChunk(QIODevice &device, const char *type, const QByteArray &data)
{
    const QByteArray typed = QByteArray(type, 4) + data;
    const QByteArray chunk = bigEndian(quint32(data.size())) + typed + bigEndian(crcOf(typed));
    return device.write(chunk) == chunk.size();
}

QByteArray header(const QImage &image, bool alpha)
{
    // Width, height, 8 bits a sample, the colour type, then deflate, adaptive filtering, no
    // interlace.
    return bigEndian(quint32(image.width())) + bigEndian(quint32(image.height()))
           + QByteArray(1, 8) + QByteArray(1, alpha ? kTruecolourWithAlpha : kTruecolour) + QByteArray(3, 0);
}

// Each row as PNG samples, its filter byte first, every byte less the one above it.
QByteArray filteredRows(const QImage &image, bool alpha)
{
    const int samples = alpha ? 4 : 3;
    const int rowBytes = image.width() * samples;
    QByteArray rows(image.height() * (1 + rowBytes), Qt::Uninitialized);
    QByteArray above(rowBytes, '\0');
    QByteArray row(rowBytes, Qt::Uninitialized);
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uchar *sample = reinterpret_cast<uchar *>(row.data());
        for (int x = 0; x < image.width(); ++x) {
            *sample++ = uchar(qRed(pixels[x]));
            *sample++ = uchar(qGreen(pixels[x]));
            *sample++ = uchar(qBlue(pixels[x]));
            if (alpha)
                *sample++ = uchar(qAlpha(pixels[x]));
        }
        char *filtered = rows.data() + qsizetype(y) * (1 + rowBytes);
        filtered[0] = kFilterUp;
        const char *samples = row.constData();
        const char *samplesAbove = above.constData();
        for (int i = 0; i < rowBytes; ++i)
            filtered[1 + i] = char(samples[i] - samplesAbove[i]);
        above.swap(row);
    }
    return rows;
}

} // namespace

bool write(const QImage &image, QIODevice &device)
{
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    // qCompress puts the data's length before the zlib stream that PNG's image data is.
    const QByteArray compressed = qCompress(filteredRows(pixels, alpha), kLevel).mid(4);
    bool written = device.write(kSignature) == kSignature.size() && writeChunk(device, "IHDR", header(pixels, alpha));
    if (written && pixels.dotsPerMeterX() > 0 && pixels.dotsPerMeterY() > 0)
        written = writeChunk(device, "pHYs",
                             bigEndian(quint32(pixels.dotsPerMeterX())) + bigEndian(quint32(pixels.dotsPerMeterY()))
                                 + QByteArray(1, kMetre));
    return written && writeChunk(device, "IDAT", compressed) && writeChunk(device, "IEND", QByteArray());
}

} // namespace PngFile
