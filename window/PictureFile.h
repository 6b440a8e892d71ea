// Reading the picture files the window shows (album, top and background pictures): Windows
// bitmaps as always, and the JPEG and PNG pictures that music collections come with.
#pragma once

#include <QImage>
#include <QString>

// The picture in the file, or a null image when it is missing or none of these formats. A
// file that reads as a bitmap is taken as one, whatever else it might be.
QImage ReadPicture(const QString& path);
