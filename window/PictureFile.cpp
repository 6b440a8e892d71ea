// Picture files by their contents, not by their names: a cover saved as "cover.bmp" that is
// really a JPEG still shows, and a file of another kind that the toolkit happens to read (GIF,
// SVG ...) is no picture of this program's.
#include "window/PictureFile.h"

#include <QImageReader>

QImage ReadPicture(const QString& path) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format != "bmp" && format != "jpeg" && format != "png") {
        return {};
    }
    // A huge picture would hold the window up and fill memory for a 201 by 153 preview.
    reader.setAllocationLimit(256);
    return reader.read();
}
