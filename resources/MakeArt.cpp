// Draws the program's pictures: the eleven rainbow-line frames, the button glyphs, the song-list
// image, the program and tray icons, the About picture, and the default top and background
// pictures. Run by the build, so every picture is made from this file and nothing else:
//   tavro_make_art <output directory>
// The desktop's program icons (the hicolor theme's sizes) come from the same emblem:
//   tavro_make_art --icons <output directory>
#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

QString g_out;

bool Save(const QImage& image, const QString& name, const char* format) {
    const QString path = g_out + QLatin1Char('/') + name;
    if (!image.save(path, format)) {
        std::fprintf(stderr, "tavro_make_art: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The colour run of the rainbow line: red, magenta, blue, cyan, green, yellow, orange and
// back to red, so that the moving frames join without a seam.
QColor RainbowAt(double t) {
    static const QColor stops[] = {QColor(255, 0, 0),   QColor(255, 0, 255), QColor(0, 0, 255),
                                   QColor(0, 255, 255), QColor(0, 255, 0),   QColor(255, 255, 0),
                                   QColor(255, 128, 0), QColor(255, 0, 0)};
    const int segments = 7;
    t = t - std::floor(t);
    const double pos = t * segments;
    const int i = static_cast<int>(pos) % segments;
    const double f = pos - std::floor(pos);
    const QColor& a = stops[i];
    const QColor& b = stops[i + 1];
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * f),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * f),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * f));
}

// 600 x 3, 256 colours. The palette holds 128 steps of the run at two brightnesses; the three
// rows are ordered-dithered between neighbouring steps. Frame n is moved 50 pixels to the right
// of frame n - 1.
bool MakeRainbowFrames() {
    constexpr int kWidth = 600;
    constexpr int kSteps = 128;
    QList<QRgb> palette;
    for (int i = 0; i < kSteps; ++i) {
        palette << RainbowAt(static_cast<double>(i) / kSteps).rgb();
    }
    for (int i = 0; i < kSteps; ++i) {
        palette << RainbowAt(static_cast<double>(i) / kSteps).darker(135).rgb();
    }
    static const double bayer[3][4] = {
        {0.0, 0.5, 0.125, 0.625}, {0.75, 0.25, 0.875, 0.375}, {0.1875, 0.6875, 0.0625, 0.5625}};
    for (int frame = 1; frame <= 11; ++frame) {
        QImage image(kWidth, 3, QImage::Format_Indexed8);
        image.setColorTable(palette);
        const int shift = 50 * (frame - 1);
        for (int y = 0; y < 3; ++y) {
            uchar* line = image.scanLine(y);
            for (int x = 0; x < kWidth; ++x) {
                const double t =
                    static_cast<double>(((x - shift) % kWidth + kWidth) % kWidth) / kWidth * kSteps;
                int step = static_cast<int>(t);
                if (t - step > bayer[y][x % 4]) {
                    ++step;
                }
                step %= kSteps;
                // The middle row is the bright one; the edges are shaded for a rounded look.
                line[x] = static_cast<uchar>(y == 1 ? step : kSteps + step);
            }
        }
        if (!Save(image, QStringLiteral("Ani%1.bmp").arg(frame), "BMP")) {
            return false;
        }
    }
    return true;
}

QImage Canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

bool Glyph(const QString& name, const std::function<void(QPainter&)>& draw) {
    QImage image = Canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return Save(image, name + QStringLiteral(".png"), "PNG");
}

const QColor kInk(20, 40, 110);
const QColor kGreen(0, 140, 60);
const QColor kRed(190, 30, 30);

void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c, const QColor& colour) {
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({a, b, c}));
}

void Plus(QPainter& p, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRect(QRectF(6.5, 2.5, 3, 11));
    p.drawRect(QRectF(2.5, 6.5, 11, 3));
}

void Cross(QPainter& p) {
    p.setPen(QPen(kRed, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
}

void Arrow(QPainter& p, bool up) {
    if (up) {
        Triangle(p, {8, 2}, {14, 9}, {2, 9}, kInk);
        p.fillRect(QRectF(6, 9, 4, 5), kInk);
    } else {
        Triangle(p, {8, 14}, {14, 7}, {2, 7}, kInk);
        p.fillRect(QRectF(6, 2, 4, 5), kInk);
    }
}

void Note(QPainter& p, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(2, 10, 5, 4));
    p.drawEllipse(QRectF(9, 9, 5, 4));
    p.drawRect(QRectF(6, 3, 1.4, 9));
    p.drawRect(QRectF(12.6, 2, 1.4, 9));
    p.drawPolygon(QPolygonF({QPointF(6, 3), QPointF(14, 2), QPointF(14, 4.5), QPointF(6, 5.5)}));
}

void Picture(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(200, 230, 255));
    p.drawRect(QRectF(1.5, 3.5, 13, 10));
    Triangle(p, {3, 12}, {7, 7}, {10, 12}, QColor(40, 150, 60));
    p.setBrush(QColor(255, 200, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(10, 5, 3, 3));
}

bool MakeGlyphs() {
    bool ok = true;
    ok &= Glyph("play", [](QPainter& p) { Triangle(p, {4, 2}, {14, 8}, {4, 14}, kGreen); });
    ok &= Glyph("pause", [](QPainter& p) {
        p.fillRect(QRectF(3, 2, 4, 12), kInk);
        p.fillRect(QRectF(9, 2, 4, 12), kInk);
    });
    ok &= Glyph("stop", [](QPainter& p) {
        p.setPen(QPen(kRed.darker(150), 1));
        p.setBrush(kRed);
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
    });
    ok &= Glyph("next", [](QPainter& p) {
        Triangle(p, {2, 3}, {9, 8}, {2, 13}, kInk);
        Triangle(p, {7, 3}, {14, 8}, {7, 13}, kInk);
    });
    ok &= Glyph("last", [](QPainter& p) {
        Triangle(p, {14, 3}, {7, 8}, {14, 13}, kInk);
        Triangle(p, {9, 3}, {2, 8}, {9, 13}, kInk);
    });
    ok &= Glyph("add", [](QPainter& p) { Plus(p, kGreen); });
    ok &= Glyph("delete", [](QPainter& p) { Cross(p); });
    ok &= Glyph("rename", [](QPainter& p) {
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(255, 220, 120));
        p.drawPolygon(QPolygonF(
            {QPointF(3, 13), QPointF(4, 10), QPointF(11, 3), QPointF(13, 5), QPointF(6, 12)}));
    });
    ok &= Glyph("up", [](QPainter& p) { Arrow(p, true); });
    ok &= Glyph("down", [](QPainter& p) { Arrow(p, false); });
    ok &= Glyph("load", [](QPainter& p) {
        p.setPen(QPen(QColor(150, 110, 20), 1));
        p.setBrush(QColor(250, 205, 90));
        p.drawRect(QRectF(1.5, 5.5, 13, 8));
        p.drawRect(QRectF(1.5, 3.5, 5, 2));
        Note(p, kInk);
    });
    ok &= Glyph("songchange", [](QPainter& p) {
        Note(p, kInk);
        p.setPen(QPen(kRed, 1.5));
        p.drawLine(QPointF(1, 15), QPointF(15, 15));
    });
    ok &= Glyph("picadd", [](QPainter& p) {
        Picture(p);
        p.scale(0.5, 0.5);
        p.translate(16, 0);
        Plus(p, kGreen);
    });
    ok &= Glyph("picdelete", [](QPainter& p) {
        Picture(p);
        p.scale(0.5, 0.5);
        p.translate(16, 0);
        Cross(p);
    });
    ok &= Glyph("song", [](QPainter& p) { Note(p, QColor(0, 90, 160)); });
    return ok;
}

// The program's emblem: a disc with a note, at any size.
void Emblem(QPainter& p, int size) {
    const double s = size / 32.0;
    p.save();
    p.scale(s, s);
    QRadialGradient disc(QPointF(12, 11), 18);
    disc.setColorAt(0, QColor(120, 220, 255));
    disc.setColorAt(1, QColor(0, 60, 140));
    p.setPen(QPen(QColor(0, 30, 80), 1));
    p.setBrush(disc);
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    p.setBrush(QColor(255, 220, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(8, 19, 7, 5.5));
    p.drawEllipse(QRectF(18, 17, 7, 5.5));
    p.drawRect(QRectF(13.2, 7, 1.8, 15));
    p.drawRect(QRectF(23.2, 5, 1.8, 15));
    p.drawPolygon(
        QPolygonF({QPointF(13.2, 7), QPointF(25, 5), QPointF(25, 8.5), QPointF(13.2, 10.5)}));
    p.restore();
}

bool MakeIcons() {
    QImage icon = Canvas(32, 32);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        Emblem(p, 32);
    }
    bool ok = Save(icon, QStringLiteral("TAVRO.png"), "PNG");
    // The tray icon: 32 x 32 in the 16 classic colours (one of them transparent).
    static const QRgb classic[] = {0x00000000, 0xff000000, 0xff800000, 0xff008000,
                                   0xff808000, 0xff000080, 0xff800080, 0xff008080,
                                   0xffc0c0c0, 0xff808080, 0xffff0000, 0xff00ff00,
                                   0xffffff00, 0xff0000ff, 0xffff00ff, 0xff00ffff};
    const QList<QRgb> fixed(std::begin(classic), std::end(classic));
    const QImage tray16 = icon.convertToFormat(QImage::Format_Indexed8, fixed, Qt::ThresholdDither);
    ok &= Save(tray16, QStringLiteral("TrayIcon.png"), "PNG");
    return ok;
}

// The icon a desktop menu, task switcher or media panel shows, one file per hicolor size:
// tavro-48.png, tavro-128.png, tavro-256.png. Drawn at each size rather than scaled from one,
// so the small one stays sharp.
bool MakeProgramIcons() {
    bool ok = true;
    for (const int size : {48, 128, 256}) {
        QImage icon = Canvas(size, size);
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        Emblem(p, size);
        p.end();
        ok &= Save(icon, QStringLiteral("tavro-%1.png").arg(size), "PNG");
    }
    return ok;
}

QFont Face(int pixels, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

bool MakeImage2() {
    QImage image(120, 30, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 120, 0);
    back.setColorAt(0, QColor(0, 40, 110));
    back.setColorAt(1, QColor(0, 120, 170));
    p.fillRect(image.rect(), back);
    Emblem(p, 26);
    p.translate(0, 0);
    p.setPen(QColor(255, 230, 80));
    p.setFont(Face(15, true));
    p.drawText(QRect(30, 0, 90, 30), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Kelmora"));
    p.end();
    return Save(image, QStringLiteral("Image2.bmp"), "BMP");
}

bool MakeTopPicture() {
    QImage image(555, 90, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 90);
    sky.setColorAt(0, QColor(8, 16, 60));
    sky.setColorAt(1, QColor(20, 90, 150));
    p.fillRect(image.rect(), sky);
    // A sound wave across the picture.
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath wave;
        for (int x = 0; x <= 555; x += 3) {
            const double y = 55 + (10 + 6 * layer) * std::sin(x / (38.0 + 11 * layer) + layer) *
                                      std::sin(x / 170.0 + 0.5);
            if (x == 0) {
                wave.moveTo(x, y);
            } else {
                wave.lineTo(x, y);
            }
        }
        p.setPen(QPen(QColor::fromHsv(180 + 25 * layer, 160, 255, 150), 2.0 - 0.4 * layer));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }
    Emblem(p, 64);
    p.translate(0, 0);
    p.setFont(Face(44, true));
    p.setPen(QColor(0, 0, 40));
    p.drawText(QRect(92, 6, 460, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TAVRO"));
    p.setPen(QColor(255, 220, 60));
    p.drawText(QRect(89, 3, 460, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TAVRO"));
    p.setFont(Face(13, false));
    p.setPen(QColor(190, 230, 255));
    p.drawText(QRect(92, 58, 450, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Kelmora audio player  -  Ogg Vorbis and MP3"));
    p.end();
    return Save(image, QStringLiteral("TAVRO.bmp"), "BMP");
}

bool MakeBackgroundTile() {
    QImage image(64, 64, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), QColor(36, 52, 82));
    p.setPen(QPen(QColor(52, 72, 110), 1));
    for (int i = -64; i < 128; i += 16) {
        p.drawLine(i, 0, i + 64, 64);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 95, 140));
    p.drawEllipse(QRectF(28, 28, 8, 8));
    p.end();
    return Save(image, QStringLiteral("BackImg.bmp"), "BMP");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("usage: tavro_make_art [--icons] <output directory>\n"
                  "Draws the program's pictures (with --icons: its desktop icons) into the "
                  "directory.");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("tavro_make_art (TAVRO) " TAVRO_VERSION);
        return 0;
    }
    const bool iconsOnly = argc == 3 && std::strcmp(argv[1], "--icons") == 0;
    // An unknown option is no directory to draw into.
    if ((argc != 2 && !iconsOnly) || argv[argc - 1][0] == '-') {
        std::fprintf(stderr, "usage: tavro_make_art [--icons] <output directory>\n");
        return 2;
    }
    // Text needs the font machinery of a GUI application, but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_out = QString::fromLocal8Bit(argv[argc - 1]);
    QDir().mkpath(g_out);
    if (iconsOnly) {
        return MakeProgramIcons() ? 0 : 1;
    }
    const bool ok = MakeRainbowFrames() && MakeGlyphs() && MakeIcons() && MakeImage2() &&
                    MakeTopPicture() && MakeBackgroundTile();
    return ok ? 0 : 1;
}
