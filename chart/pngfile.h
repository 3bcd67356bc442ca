// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PNGFILE_H
#define PNGFILE_H

class QImage;
class QIODevice;

// Chart pictures as PNG files, written in one pass: every row is filtered by its difference to
// the row above, which turns a chart's flat areas and vertical edges into runs of zeros, and
// compressed by zlib at a fast level. Qt's writer tries all five filters on every row, which took
// about as long as drawing the chart. Lossless either way: the pixels read back are the image's.
namespace PngFile {

// Writes image to device, as RGB where it is opaque, else as RGBA, with its resolution where it
// has one; false when a write failed.
bool write(const QImage &image, QIODevice &device);

} // namespace PngFile

#endif // PNGFILE_H
