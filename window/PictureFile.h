// Reading the picture files the window shows (album, top and background pictures): Windows
// bitmaps as always, and the JPEG and PNG pictures that music collections come with.
#pragma once

#include <QImage>
#include <QString>

#include <string>

// The picture in the file, known by its contents, or a null image when the file is missing,
// damaged, no regular file (a pipe or device under a picture's name must not hold up the
// window) or none of these formats. `path` is given as the bytes of its name on disk.
QImage ReadPicture(const std::string& path);
QImage ReadPicture(const QString& path);
