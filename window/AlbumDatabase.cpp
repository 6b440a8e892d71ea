// The album library: "Database.DAT", the album display and the pictures of image controls.
#include "window/PlayProg.h"

#include <QImage>
#include <QPainter>

void TPlayerForm::LoadDatabase() {
    // Reads "Database.DAT" into AlbumView and shows the first album; filled in with the album
    // library.
}

void TPlayerForm::SaveDatabase() {
    // Writes AlbumView to "Database.DAT"; filled in with the album library.
}

bool TPlayerForm::LoadPicture(TImage* image, const std::string& path) {
    QImage bitmap;
    if (image == nullptr || !bitmap.load(QString::fromStdString(path), "BMP") || bitmap.isNull()) {
        return false;
    }
    QPixmap picture(image->size());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(picture.rect(), bitmap);
    painter.end();
    image->SetPicture(picture);
    return true;
}
