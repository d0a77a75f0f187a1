// Draws the program's icon at the sizes the window and the desktop use: a
// photo card with a sunlit hill, and under it a slider with its thumb half
// way, the tool's two ideas.
//
//   make_icons FOLDER     writes vantrel-SIZE.png for each size
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <cstdlib>

static QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // The photo card.
    const QRectF card(2.5, 2.5, 27, 20);
    QLinearGradient sky(0, card.top(), 0, card.bottom());
    sky.setColorAt(0, QColor(40, 90, 200));
    sky.setColorAt(1, QColor(250, 180, 90));
    p.setPen(QPen(QColor(20, 30, 60), 1));
    p.setBrush(sky);
    p.drawRoundedRect(card, 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 240, 150));
    p.drawEllipse(QPointF(22, 9), 3, 3);
    QPainterPath hill;
    hill.moveTo(card.left() + 0.5, card.bottom() - 0.5);
    hill.cubicTo(8, 10, 14, 12, 18, 16);
    hill.cubicTo(21, 14, 25, 13, card.right() - 0.5, 17);
    hill.lineTo(card.right() - 0.5, card.bottom() - 0.5);
    hill.closeSubpath();
    p.setBrush(QColor(40, 140, 60));
    p.drawPath(hill);

    // The slider.
    p.setPen(QPen(QColor(60, 60, 70), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 27.5), QPointF(28, 27.5));
    p.setPen(QPen(QColor(20, 30, 60), 1));
    p.setBrush(QColor(230, 80, 40));
    p.drawRoundedRect(QRectF(13.5, 24.5, 5, 6), 1, 1);
    return image;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons FOLDER\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString name = QStringLiteral("%1/vantrel-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!DrawIcon(size).save(name, "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
