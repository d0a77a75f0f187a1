// Paints the sample picture the headless run opens: an original scene with
// smooth gradients (where low qualities band), hard edges and fine detail
// (where they blur and ring), so the eight variants differ visibly.
//
//   make_sample OUT.jpg [WIDTH HEIGHT]
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

void PaintSky(QPainter &p, int w, int h) {
    QLinearGradient sky(0, 0, 0, h * 0.62);
    sky.setColorAt(0.0, QColor(18, 42, 110));
    sky.setColorAt(0.45, QColor(120, 90, 170));
    sky.setColorAt(0.8, QColor(250, 150, 90));
    sky.setColorAt(1.0, QColor(255, 210, 120));
    p.fillRect(QRectF(0, 0, w, h * 0.62), sky);

    QRadialGradient sun(w * 0.7, h * 0.5, h * 0.22);
    sun.setColorAt(0.0, QColor(255, 255, 230));
    sun.setColorAt(0.25, QColor(255, 230, 140, 230));
    sun.setColorAt(1.0, QColor(255, 160, 80, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(w * 0.7, h * 0.5), h * 0.22, h * 0.22);

    // Thin cloud streaks: fine horizontal detail.
    QRandomGenerator rng(7);
    for (int i = 0; i < 60; ++i) {
        const double y = h * (0.08 + 0.35 * rng.generateDouble());
        const double x = w * rng.generateDouble();
        const double len = w * (0.05 + 0.2 * rng.generateDouble());
        p.setPen(QPen(QColor(255, 235, 245, 40 + rng.bounded(90)), 1 + rng.bounded(3)));
        p.drawLine(QPointF(x, y), QPointF(x + len, y + rng.bounded(5) - 2));
    }
}

void PaintMountains(QPainter &p, int w, int h) {
    const struct {
        double base, height, seed;
        QColor top, bottom;
    } ranges[] = {
        {0.62, 0.30, 1.3, QColor(90, 80, 150), QColor(60, 60, 120)},
        {0.64, 0.22, 2.9, QColor(50, 90, 110), QColor(30, 60, 80)},
        {0.66, 0.14, 5.1, QColor(30, 80, 60), QColor(20, 50, 40)},
    };
    for (const auto &r : ranges) {
        QPainterPath path;
        path.moveTo(0, h * r.base);
        for (int x = 0; x <= w; x += 4) {
            const double t = double(x) / w;
            const double y = h * (r.base - r.height * (0.55 + 0.25 * std::sin(t * 7.0 + r.seed) +
                                                       0.12 * std::sin(t * 23.0 + r.seed * 2) +
                                                       0.05 * std::sin(t * 91.0 + r.seed * 3)));
            path.lineTo(x, y);
        }
        path.lineTo(w, h * r.base);
        path.closeSubpath();
        QLinearGradient g(0, h * (r.base - r.height), 0, h * r.base);
        g.setColorAt(0, r.top);
        g.setColorAt(1, r.bottom);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(path);
    }
}

void PaintLake(QPainter &p, int w, int h) {
    QLinearGradient water(0, h * 0.62, 0, h * 0.8);
    water.setColorAt(0, QColor(240, 170, 110));
    water.setColorAt(0.3, QColor(80, 110, 170));
    water.setColorAt(1, QColor(20, 40, 90));
    p.fillRect(QRectF(0, h * 0.62, w, h * 0.18), water);
    QRandomGenerator rng(11);
    for (int i = 0; i < 400; ++i) {
        const double y = h * (0.62 + 0.18 * rng.generateDouble());
        const double x = w * rng.generateDouble();
        p.setPen(QPen(QColor(255, 255, 255, 30 + rng.bounded(80)), 1));
        p.drawLine(QPointF(x, y), QPointF(x + 4 + rng.bounded(30), y));
    }
}

void PaintMeadow(QPainter &p, int w, int h) {
    QLinearGradient meadow(0, h * 0.8, 0, h);
    meadow.setColorAt(0, QColor(60, 140, 50));
    meadow.setColorAt(1, QColor(20, 70, 20));
    p.fillRect(QRectF(0, h * 0.8, w, h * 0.2), meadow);
    // Grass blades and flowers: detail at the pixel scale.
    QRandomGenerator rng(23);
    for (int i = 0; i < 9000; ++i) {
        const double x = w * rng.generateDouble();
        const double y = h * (0.8 + 0.2 * rng.generateDouble());
        const double len = 4 + 14 * (y / h - 0.8) / 0.2;
        p.setPen(QPen(QColor(40 + rng.bounded(80), 120 + rng.bounded(100), 30 + rng.bounded(40)), 1));
        p.drawLine(QPointF(x, y), QPointF(x + rng.bounded(7) - 3, y - len));
    }
    static const QColor petals[] = {QColor(230, 40, 60), QColor(250, 220, 40), QColor(240, 240, 250),
                                    QColor(170, 60, 220)};
    for (int i = 0; i < 500; ++i) {
        const double x = w * rng.generateDouble();
        const double y = h * (0.82 + 0.18 * rng.generateDouble());
        p.setPen(Qt::NoPen);
        p.setBrush(petals[rng.bounded(4)]);
        p.drawEllipse(QPointF(x, y), 2.5, 2.5);
    }
}

void PaintHouse(QPainter &p, int w, int h) {
    const double x = w * 0.12, y = h * 0.68, s = h * 0.16;
    p.setPen(QPen(QColor(40, 20, 10), 2));
    p.setBrush(QColor(200, 60, 40));
    p.drawRect(QRectF(x, y, s * 1.3, s));
    QPolygonF roof;
    roof << QPointF(x - s * 0.1, y) << QPointF(x + s * 0.65, y - s * 0.6) << QPointF(x + s * 1.4, y);
    p.setBrush(QColor(70, 50, 60));
    p.drawPolygon(roof);
    p.setBrush(QColor(255, 230, 140));
    for (int i = 0; i < 2; ++i)
        p.drawRect(QRectF(x + s * (0.15 + 0.65 * i), y + s * 0.2, s * 0.3, s * 0.3));
    p.setBrush(QColor(90, 50, 20));
    p.drawRect(QRectF(x + s * 0.5, y + s * 0.55, s * 0.3, s * 0.45));
    // Window bars: one-pixel lines on a bright ground.
    p.setPen(QPen(QColor(40, 20, 10), 1));
    for (int i = 0; i < 2; ++i) {
        const double wx = x + s * (0.15 + 0.65 * i), wy = y + s * 0.2;
        p.drawLine(QPointF(wx + s * 0.15, wy), QPointF(wx + s * 0.15, wy + s * 0.3));
        p.drawLine(QPointF(wx, wy + s * 0.15), QPointF(wx + s * 0.3, wy + s * 0.15));
    }
}

void PaintChart(QPainter &p, int w, int h) {
    // A test card in the corner: stripes of falling width, a colour ramp and
    // small text, the places where JPEG artefacts show first.
    const QRectF card(w * 0.78, h * 0.04, w * 0.2, h * 0.26);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(245, 245, 240));
    p.drawRect(card);
    double x = card.left() + 8;
    for (int width = 6; width >= 1; --width) {
        for (int k = 0; k < 4; ++k) {
            p.fillRect(QRectF(x, card.top() + 8, width, card.height() * 0.35), Qt::black);
            x += 2 * width;
        }
        x += 6;
    }
    for (int i = 0; i < int(card.width()) - 16; ++i) {
        const QColor c = QColor::fromHsvF(double(i) / (card.width() - 16), 1.0, 1.0);
        p.fillRect(QRectF(card.left() + 8 + i, card.top() + card.height() * 0.45, 1, card.height() * 0.15), c);
    }
    QFont font;
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(card.left() + 8, card.top() + card.height() * 0.64, card.width() - 16, card.height() * 0.34),
               Qt::TextWordWrap,
               QStringLiteral("Vantrel sample. Small text and thin lines show where a low quality "
                              "costs detail; the sky shows where it costs smoothness."));
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: make_sample OUT.jpg [WIDTH HEIGHT]\n");
        return 2;
    }
    // Fonts need a GUI application; no display is needed for painting.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const int w = argc == 4 ? std::atoi(argv[2]) : 1600;
    const int h = argc == 4 ? std::atoi(argv[3]) : 1200;
    if (w < 64 || h < 64) {
        std::fprintf(stderr, "make_sample: the picture must be at least 64x64\n");
        return 2;
    }
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PaintSky(p, w, h);
    PaintMountains(p, w, h);
    PaintLake(p, w, h);
    PaintMeadow(p, w, h);
    PaintHouse(p, w, h);
    PaintChart(p, w, h);
    p.end();
    if (!image.save(QString::fromLocal8Bit(argv[1]), "JPEG", 92)) {
        std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
