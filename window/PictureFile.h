// Reading the picture files the window shows (album, top and background pictures): Windows
// bitmaps as always, and the JPEG and PNG pictures that music collections come with.
#pragma once

#include <QImage>
#include <QString>

// The picture in the file, known by its contents, or a null image when the file is missing,
// damaged or none of these formats.
QImage ReadPicture(const QString& path);
