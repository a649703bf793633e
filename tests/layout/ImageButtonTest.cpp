// The image buttons, the status icon and the pictures they draw.

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>
#include <QWidget>

#include "app/ControlIds.h"
#include "app/layout/Geometry.h"
#include "app/layout/ImageButton.h"
#include "app/layout/ImagePictures.h"
#include "app/layout/StatusIcon.h"

using namespace vistrel::app;

namespace {

std::vector<int> AllImageButtonsAndTwins() {
    std::vector<int> ids;
    for (const auto* group : {&ToolbarIds(), &CameraPadIds(), &PlaybackBarIds()}) {
        for (int controlId : *group) {
            if (int twin = TwinOf(controlId)) {
                ids.push_back(controlId);
                ids.push_back(twin);
            }
        }
    }
    return ids;
}

bool IsToolbar(int controlId) {
    const int button = IsTwin(controlId) ? ButtonOfTwin(controlId) : controlId;
    return button >= id::kLiveButton && button <= id::kExitButton;
}

QImage Render(const QString& path, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

double CoveredShare(const QImage& image) {
    int covered = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) covered += qAlpha(image.pixel(x, y)) > 128;
    }
    return double(covered) / (image.width() * image.height());
}

bool IsRedFrame(QRgb p) { return qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90; }

int CountOpaque(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 0;
    }
    return n;
}

// The widget's own drawing on a transparent image, without the window background grab() adds.
QImage Snapshot(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

}  // namespace

class ImageButtonTest : public QObject {
    Q_OBJECT
private slots:
    // Every button and twin has its own picture, which loads, draws a tile that fills its
    // rectangle, and (for twins) carries the red frame its button lacks.
    void picturesLoadAndDiffer() {
        const std::vector<int> ids = AllImageButtonsAndTwins();
        QCOMPARE(ids.size(), size_t(44));
        QSet<QString> paths;
        for (int controlId : ids) {
            const QString path = PicturePath(controlId);
            QVERIFY2(!path.isEmpty(), qPrintable(QString::number(controlId)));
            QVERIFY2(QFile::exists(path), qPrintable(path));
            QVERIFY2(QSvgRenderer(path).isValid(), qPrintable(path));
            paths.insert(path);
            QVERIFY2(!ButtonToolTip(controlId).isEmpty(), qPrintable(path));

            const QSize size = IsToolbar(controlId) ? QSize(30, 20) : QSize(20, 20);
            const QImage image = Render(path, size);
            QVERIFY2(CoveredShare(image) > 0.8, qPrintable(path));
            const bool framed = IsRedFrame(image.pixel(size.width() / 2, 0)) &&
                                IsRedFrame(image.pixel(0, size.height() / 2));
            QVERIFY2(framed == IsTwin(controlId), qPrintable(path));
        }
        QCOMPARE(paths.size(), 44);
        QVERIFY(PicturePath(id::kChannelList).isEmpty());
        QVERIFY(PicturePath(0).isEmpty());
        QCOMPARE(ButtonToolTip(id::kLoginModeTwin), QStringLiteral("Back to login"));
    }

    void statusAndProgramIconsLoad() {
        for (int kind : {1, 3, 4, 5}) {
            const QString path = StatusIconPath(kind);
            QVERIFY2(QSvgRenderer(path).isValid(), qPrintable(path));
            const double share = CoveredShare(Render(path, QSize(15, 15)));
            QVERIFY2(share > 0.1 && share < 0.9, qPrintable(path));
        }
        for (int kind : {0, 2, 6, 20, -1}) QVERIFY(StatusIconPath(kind).isEmpty());
        QVERIFY(QSvgRenderer(ProgramIconPath()).isValid());
        // The window takes its icon through QIcon, which needs Qt's SVG icon engine at run time.
        QVERIFY(!QIcon(ProgramIconPath()).pixmap(32, 32).isNull());

        // The desktop entry names the installed program and icon; menus skip an entry whose
        // group header or Exec key is wrong.
        QFile entry(QStringLiteral(VISTREL_SOURCE_DIR "/res/vistrel.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
        for (const char* key : {"Type=Application", "Name=Vistrel", "Exec=vistrel", "Icon=vistrel",
                                "Categories=AudioVideo;Video;Network;"}) {
            QVERIFY2(lines.contains(QLatin1String(key)), key);
        }
    }

    void clickIsALeftReleaseInside() {
        QWidget window;
        window.resize(200, 100);
        ImageButton button(id::kCamUp, &window);
        button.setGeometry(10, 10, 40, 40);
        window.show();
        QSignalSpy spy(&button, &ImageButton::clicked);
        QCOMPARE(button.id(), id::kCamUp);
        QVERIFY(button.hasPicture());
        QCOMPARE(button.focusPolicy(), Qt::NoFocus);
        QCOMPARE(button.toolTip(), QStringLiteral("Up"));

        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), id::kCamUp);

        // Pressed inside, dragged off, released outside: the user changed their mind.
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(45, 20));
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, -1));
        QTest::mouseClick(&button, Qt::RightButton, {}, QPoint(20, 20));
        QCOMPARE(spy.count(), 1);

        button.setEnabled(false);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(spy.count(), 1);
        button.setEnabled(true);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(39, 39));
        QCOMPARE(spy.count(), 2);
    }

    // The picture follows the button's size, and a disabled button is visibly fainter.
    void paintsAtAnySizeAndFadesWhenDisabled() {
        QWidget window;
        window.resize(300, 200);
        ImageButton button(id::kLiveButton, &window);
        window.show();
        for (QSize size : {QSize(30, 20), QSize(60, 40), QSize(90, 60)}) {
            button.resize(size);
            const QImage image = Snapshot(button);
            QVERIFY2(CoveredShare(image) > 0.8,
                     qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
        }
        button.resize(60, 40);
        const QImage enabled = Snapshot(button);
        button.setEnabled(false);
        const QImage disabled = Snapshot(button);
        QVERIFY(CountOpaque(disabled) > 0);
        QVERIFY(CoveredShare(disabled) < 0.2);
        QVERIFY(enabled != disabled);
    }

    void statusIconKeepsItsKindForUnknownOnes() {
        QWidget window;
        StatusIcon icon(&window);
        QCOMPARE(icon.kind(), 3);
        icon.setKind(1);
        QCOMPARE(icon.kind(), 1);
        for (int kind : {0, 2, 6, 20}) {
            icon.setKind(kind);
            QCOMPARE(icon.kind(), 1);
        }
        icon.setKind(5);
        QCOMPARE(icon.kind(), 5);
        icon.resize(15, 15);
        window.show();
        QVERIFY(CountOpaque(Snapshot(icon)) > 0);
    }

    // Not a check: with VISTREL_CONTACT_SHEET=file.png every picture is drawn at the sizes the
    // window uses, side by side, for a person to look at.
    void contactSheet() {
        const QString out = qEnvironmentVariable("VISTREL_CONTACT_SHEET");
        if (out.isEmpty()) QSKIP("VISTREL_CONTACT_SHEET not set");
        // Each picture with its smallest size in the window and twice that.
        QList<QPair<QString, QSize>> pictures;
        for (int controlId : AllImageButtonsAndTwins()) {
            pictures.append({PicturePath(controlId), IsToolbar(controlId) ? QSize(30, 20) : QSize(20, 20)});
        }
        for (int kind : {1, 3, 4, 5}) pictures.append({StatusIconPath(kind), QSize(15, 15)});
        pictures.append({ProgramIconPath(), QSize(32, 32)});
        const int cell = 110, rowHeight = 70, columns = 6;
        QImage sheet(cell * columns, rowHeight * int((pictures.size() + columns - 1) / columns),
                     QImage::Format_RGB32);
        sheet.fill(QColor(0xef, 0xef, 0xef));  // a light window background
        QPainter painter(&sheet);
        for (int i = 0; i < pictures.size(); ++i) {
            const auto& [path, size] = pictures[i];
            const QPoint origin((i % columns) * cell + 4, (i / columns) * rowHeight + 4);
            painter.drawImage(origin + QPoint(0, size.height() / 2), Render(path, size));
            painter.drawImage(origin + QPoint(size.width() + 6, 0), Render(path, size * 2));
        }
        painter.end();
        QVERIFY(sheet.save(out));
    }
};

QTEST_MAIN(ImageButtonTest)
#include "ImageButtonTest.moc"
