// Picture files by their contents, not by their names: a cover saved as "cover.bmp" that is
// really a JPEG still shows.
#include "window/PictureFile.h"

#include <QImageReader>

QImage ReadPicture(const QString& path) {
    QImage picture;
    if (picture.load(path, "BMP") && !picture.isNull()) {
        return picture;
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format != "jpeg" && format != "png") {
        return {};
    }
    // A huge picture would hold the window up and fill memory for a 201 by 153 preview.
    reader.setAllocationLimit(256);
    return reader.read();
}
