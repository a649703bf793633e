// The Qt framebuffer window: screen depth names, live H.263 and MPEG-4 pictures from the
// in-process DVR emulator in the framebuffer and on the painted widget at every depth, full
// screen on portrait and landscape views, resizing under a running stream, coalesced repaints.

#include <QImage>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "platform/qt/FramebufferView.h"
#include "platform/qt/ScreenDepth.h"
#include "stream/http/StreamRequest.h"
#include "stream/live/DvrAddress.h"
#include "stream/live/LiveStreamSession.h"
#include "tools/dvr/DvrServer.h"
#include "video/picture/ColourTables.h"
#include "video/picture/Snapshot.h"

using vistrel::platform::qt::FramebufferView;
using vistrel::platform::qt::ParseScreenDepth;
using vistrel::platform::qt::ScreenDepth;

Q_DECLARE_METATYPE(ScreenDepth)

namespace {

constexpr int kWaitMs = 20000;      // generous: sanitizers on a loaded 2-core machine
constexpr int kPictureWidth = 320;  // what the emulator's channels send by default
constexpr int kPictureHeight = 240;

// Counts the paints the GUI thread really made.
class CountingView : public FramebufferView {
public:
    using FramebufferView::FramebufferView;
    std::atomic<int> paints{0};
    int queuedCalls = 0;  // GUI thread: queued calls delivered to the view

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::MetaCall) ++queuedCalls;
        return FramebufferView::event(event);
    }
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        FramebufferView::paintEvent(event);
    }
};

// The decoder's current picture through the library's own 24-bit conversion, as an RGB32 image.
QImage snapshotOf(vistrel::IDecoder& decoder) {
    int width = 0;
    int height = 0;
    decoder.GetPictureSize(&width, &height);
    const std::size_t size = vistrel::SnapshotBitmapSize(width, height);
    if (size == 0) return {};
    std::vector<std::uint8_t> bitmap(size);
    // No data: nothing new is decoded, only the current picture captured.
    decoder.DecodeAndCapture(nullptr, 0, true, bitmap.data(), bitmap.size(), true);
    if (bitmap[0] != 'B' || bitmap[1] != 'M') return {};
    QImage image(width, height, QImage::Format_RGB32);
    const std::uint8_t* pixels = bitmap.data() + vistrel::kSnapshotHeaderBytes;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(height - 1 - y) * width * 3;
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]));
    }
    return image;
}

// What the framebuffer keeps of a colour at this depth: the top 5 or 6 bits at 16 bits.
QRgb truncated(QRgb c, ScreenDepth depth) {
    switch (depth) {
        case ScreenDepth::Rgb555: return qRgb(qRed(c) >> 3, qGreen(c) >> 3, qBlue(c) >> 3);
        case ScreenDepth::Rgb565: return qRgb(qRed(c) >> 3, qGreen(c) >> 2, qBlue(c) >> 3);
        default: return qRgb(qRed(c), qGreen(c), qBlue(c));
    }
}

int distinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y) & 0xFFFFFFu);
    return colours.size();
}

bool sameColours(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFFu) != (b.pixel(x, y) & 0xFFFFFFu)) return false;
    return true;
}

// Mean absolute difference of brightness between two images, over 4 x 4 cells.
double meanCellLumaDifference(const QImage& a, const QImage& b) {
    auto luma = [](QRgb c) { return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c); };
    double total = 0;
    int cells = 0;
    for (int y = 0; y + 4 <= a.height(); y += 4)
        for (int x = 0; x + 4 <= a.width(); x += 4) {
            double sumA = 0;
            double sumB = 0;
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 4; ++i) {
                    sumA += luma(a.pixel(x + i, y + j));
                    sumB += luma(b.pixel(x + i, y + j));
                }
            total += std::abs(sumA - sumB) / 16;
            ++cells;
        }
    return cells > 0 ? total / cells : 0;
}

// The framebuffer, the painted widget and the decoder's own picture taken together under the
// decoder lock, so that no new frame is presented in between.
struct Capture {
    QImage framebuffer;
    QImage painted;
    QImage snapshot;
};

Capture captureTogether(vistrel::live::LiveStreamSession& session, FramebufferView& view) {
    Capture capture;
    session.WithDecoder([&](vistrel::IDecoder* decoder) {
        if (decoder == nullptr) return;
        capture.snapshot = snapshotOf(*decoder);
        capture.framebuffer = view.grabFramebuffer();
        capture.painted = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    });
    return capture;
}

}  // namespace

class FramebufferViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void parseScreenDepth_data();
    void parseScreenDepth();
    void livePicturesReachFramebufferAndWidget_data();
    void livePicturesReachFramebufferAndWidget();
    void fullScreenRotatesOnPortraitAndBarsOnLandscape();
    void resizingWhilePresentingIsSafe();
    void repaintRequestsCoalesce();
    void queuedCallsDieWithTheView();

private:
    std::unique_ptr<vistrel::live::LiveStreamSession> startSession(FramebufferView& view, int channel);

    std::unique_ptr<vistrel::dvr::DvrServer> dvr_;
    std::uint16_t port_ = 0;
};

void FramebufferViewTest::initTestCase() {
    QVERIFY(vistrel::http::OpenInternetRoot("KEMBQM/MSIE"));
    vistrel::InitColourTables();
    vistrel::dvr::DvrOptions options;
    options.frameIntervalMs = 10;
    dvr_ = std::make_unique<vistrel::dvr::DvrServer>(options);
    port_ = dvr_->start();
    QVERIFY2(port_ != 0, dvr_->lastError().c_str());
}

void FramebufferViewTest::cleanupTestCase() {
    dvr_.reset();
    vistrel::http::CloseInternetRoot();
}

std::unique_ptr<vistrel::live::LiveStreamSession> FramebufferViewTest::startSession(FramebufferView& view,
                                                                                    int channel) {
    vistrel::live::LiveSessionTimings timings;
    timings.randomDelayUnitMs = 50;
    timings.failureDelayUnitMs = 100;
    auto session = std::make_unique<vistrel::live::LiveStreamSession>(timings);
    vistrel::live::DvrAddress address;
    address.host = "127.0.0.1";
    address.port = port_;
    address.channel = channel;
    session->SetUrl(vistrel::live::LiveUrl(address));
    session->SetNotifyWindow(view.platformWindow());
    session->Start();
    return session;
}

void FramebufferViewTest::parseScreenDepth_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<ScreenDepth>("depth");
    QTest::newRow("8") << "8" << true << ScreenDepth::Indexed8;
    QTest::newRow("16 is 5-6-5") << "16" << true << ScreenDepth::Rgb565;
    QTest::newRow("555") << "555" << true << ScreenDepth::Rgb555;
    QTest::newRow("24") << "24" << true << ScreenDepth::Bgr24;
    QTest::newRow("32") << "32" << true << ScreenDepth::Rgb32;
    for (const char* bad : {"", "565", "15", "32 ", " 8", "08", "3", "320", "rgb32", "-8"})
        QTest::newRow(qPrintable(QStringLiteral("bad '%1'").arg(bad))) << bad << false << ScreenDepth::Rgb32;
}

void FramebufferViewTest::parseScreenDepth() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(ScreenDepth, depth);
    const std::string bytes = text.toStdString();
    // An untouched result on failure: the caller's default stays.
    ScreenDepth parsed = ScreenDepth::Rgb32;
    QCOMPARE(ParseScreenDepth(bytes, &parsed), valid);
    QCOMPARE(parsed, depth);
}

void FramebufferViewTest::livePicturesReachFramebufferAndWidget_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<ScreenDepth>("depth");
    const struct {
        const char* name;
        ScreenDepth depth;
    } depths[] = {{"565", ScreenDepth::Rgb565},
                  {"555", ScreenDepth::Rgb555},
                  {"24", ScreenDepth::Bgr24},
                  {"32", ScreenDepth::Rgb32},
                  {"8", ScreenDepth::Indexed8}};
    for (int channel : {1, 9})
        for (const auto& d : depths)
            QTest::newRow(
                qPrintable(QStringLiteral("%1 at %2").arg(channel == 1 ? "H.263" : "MPEG-4").arg(d.name)))
                << channel << d.depth;
}

void FramebufferViewTest::livePicturesReachFramebufferAndWidget() {
    QFETCH(int, channel);
    QFETCH(ScreenDepth, depth);
    CountingView view(depth);
    // The picture's own size: the stretched view copies it pixel for pixel.
    view.resize(kPictureWidth, kPictureHeight);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto session = startSession(view, channel);

    QTRY_VERIFY_WITH_TIMEOUT(view.presentedCount() >= 5, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(view.paints.load() > 0, kWaitMs);
    const QImage first = view.grabFramebuffer();
    QCOMPARE(first.size(), QSize(kPictureWidth, kPictureHeight));
    QVERIFY2(distinctColours(first) > 32, "the picture is flat or black");
    // The scene moves: later pictures differ from this one.
    QTRY_VERIFY_WITH_TIMEOUT(!sameColours(view.grabFramebuffer(), first), kWaitMs);

    const Capture capture = captureTogether(*session, view);
    session->Stop();
    QCOMPARE(capture.snapshot.size(), QSize(kPictureWidth, kPictureHeight));
    QCOMPARE(capture.framebuffer.size(), capture.snapshot.size());
    // The widget shows exactly what the framebuffer holds.
    QVERIFY(sameColours(capture.painted, capture.framebuffer));

    if (depth == ScreenDepth::Indexed8) {
        // Dithered into a palette of 14 grey levels and 4 x 4 chroma levels, saturated colours
        // cannot come out right; brightness, averaged over the 4 x 4 dither cells, does.
        const double error = meanCellLumaDifference(capture.framebuffer, capture.snapshot);
        QVERIFY2(error < 12.0, qPrintable(QStringLiteral("mean brightness error %1").arg(error)));
    } else {
        // The direct conversions agree with the 24-bit one to the bits the depth keeps.
        for (int y = 0; y < kPictureHeight; ++y)
            for (int x = 0; x < kPictureWidth; ++x) {
                const QRgb want = truncated(capture.snapshot.pixel(x, y), depth);
                const QRgb got = truncated(capture.framebuffer.pixel(x, y), depth);
                if (want != got)
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3 instead of %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(got, 6, 16, QChar('0'))
                                         .arg(want, 6, 16, QChar('0'))));
            }
    }

    // The erase at a mode change: one dark colour (palette index 0 on the 8-bit screen).
    view.clearPicture();
    const QImage cleared = view.grabFramebuffer();
    QCOMPARE(distinctColours(cleared), 1);
    QVERIFY(qGray(cleared.pixel(0, 0)) < 8);
}

void FramebufferViewTest::fullScreenRotatesOnPortraitAndBarsOnLandscape() {
    CountingView view(ScreenDepth::Rgb32);
    QSignalSpy hidden(&view, &FramebufferView::shellHidden);
    QSignalSpy shown(&view, &FramebufferView::shellShown);
    // Portrait, one screen pixel per picture pixel once turned.
    view.resize(kPictureHeight, kPictureWidth);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto session = startSession(view, 1);
    QTRY_VERIFY_WITH_TIMEOUT(view.presentedCount() >= 3, kWaitMs);

    session->SetFullScreen(1);
    int before = view.presentedCount();
    QTRY_VERIFY_WITH_TIMEOUT(view.presentedCount() >= before + 2, kWaitMs);
    Capture portrait = captureTogether(*session, view);
    QCOMPARE(portrait.framebuffer.size(), QSize(kPictureHeight, kPictureWidth));
    QCOMPARE(portrait.snapshot.size(), QSize(kPictureWidth, kPictureHeight));
    // A quarter turn counter-clockwise: the picture's top row runs up the left edge.
    for (int y = 0; y < kPictureWidth; ++y)
        for (int x = 0; x < kPictureHeight; ++x)
            if ((portrait.framebuffer.pixel(x, y) & 0xFFFFFFu) !=
                (portrait.snapshot.pixel(kPictureWidth - 1 - y, x) & 0xFFFFFFu))
                QFAIL(qPrintable(QStringLiteral("rotated pixel %1,%2").arg(x).arg(y)));
    QVERIFY(sameColours(portrait.painted, portrait.framebuffer));
    // The shell switch is process-wide: hidden by the first full-screen frame of the process.
    QTRY_VERIFY_WITH_TIMEOUT(hidden.count() == 1, kWaitMs);

    // Landscape: 480 x 240 shows the 4:3 picture 320 x 240 between bars of 80 columns.
    view.resize(480, kPictureHeight);
    before = view.presentedCount();
    QTRY_VERIFY_WITH_TIMEOUT(view.presentedCount() >= before + 2, kWaitMs);
    const Capture landscape = captureTogether(*session, view);
    QCOMPARE(landscape.framebuffer.size(), QSize(480, kPictureHeight));
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < 480; ++x) {
            const QRgb got = landscape.framebuffer.pixel(x, y) & 0xFFFFFFu;
            const bool bar = x < 80 || x >= 80 + kPictureWidth;
            const QRgb want = bar ? 0u : landscape.snapshot.pixel(x - 80, y) & 0xFFFFFFu;
            if (got != want) QFAIL(qPrintable(QStringLiteral("landscape pixel %1,%2").arg(x).arg(y)));
        }
    QVERIFY(sameColours(landscape.painted, landscape.framebuffer));

    session->SetFullScreen(0);
    QTRY_VERIFY_WITH_TIMEOUT(shown.count() == 1, kWaitMs);
    session->Stop();
    QCOMPARE(hidden.count(), 1);
}

void FramebufferViewTest::resizingWhilePresentingIsSafe() {
    CountingView view(ScreenDepth::Bgr24);
    view.resize(kPictureWidth, kPictureHeight);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto session = startSession(view, 9);
    QTRY_VERIFY_WITH_TIMEOUT(view.presentedCount() >= 3, kWaitMs);

    // Sizes that crop, stretch, vanish and come back while frames keep arriving, in both modes.
    const QSize sizes[] = {{100, 75}, {641, 481}, {0, 0}, {1, 1}, {33, 400}, {400, 33}, {320, 240}};
    for (int round = 0; round < 6; ++round) {
        session->SetFullScreen(round % 2);
        for (const QSize& size : sizes) {
            view.resize(size);
            if (!size.isEmpty()) QTRY_COMPARE_WITH_TIMEOUT(view.grabFramebuffer().size(), size, kWaitMs);
            const int before = view.presentedCount();
            QTRY_VERIFY_WITH_TIMEOUT(view.presentedCount() > before || size.isEmpty(), kWaitMs);
        }
    }
    session->SetFullScreen(0);
    const int before = view.presentedCount();
    QTRY_VERIFY_WITH_TIMEOUT(view.presentedCount() >= before + 2, kWaitMs);
    QVERIFY(distinctColours(view.grabFramebuffer()) > 32);
    session->Stop();
}

void FramebufferViewTest::repaintRequestsCoalesce() {
    CountingView view(ScreenDepth::Rgb565);
    view.resize(64, 48);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCoreApplication::processEvents();
    const int paintsBefore = view.paints.load();
    const int presentedBefore = view.presentedCount();
    const int callsBefore = view.queuedCalls;

    // A decoding thread far faster than the GUI thread.
    constexpr int kRequests = 20000;
    std::thread presenter([&] {
        for (int i = 0; i < kRequests; ++i) view.platformWindow()->requestRepaint();
    });
    presenter.join();
    QCOMPARE(view.presentedCount(), presentedBefore + kRequests);
    QTRY_VERIFY_WITH_TIMEOUT(view.paints.load() > paintsBefore, kWaitMs);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    // One queued update for the whole burst, not one per request.
    QCOMPARE(view.queuedCalls - callsBefore, 1);
    QVERIFY2(view.paints.load() - paintsBefore <= 2,
             qPrintable(QStringLiteral("%1 paints").arg(view.paints.load() - paintsBefore)));

    // Once the update has run, the next request is honoured again.
    const int paintsAfterBurst = view.paints.load();
    view.platformWindow()->requestRepaint();
    QTRY_VERIFY_WITH_TIMEOUT(view.paints.load() > paintsAfterBurst, kWaitMs);
}

void FramebufferViewTest::queuedCallsDieWithTheView() {
    // Requests and shell switches still in the queue when the dialog deletes the view.
    auto* view = new FramebufferView(ScreenDepth::Rgb32);
    view->resize(32, 24);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    std::thread presenter([view] {
        vistrel::platform::Window* window = view->platformWindow();
        window->requestRepaint();
        window->hideShell();
        window->showShell(32, 24);
    });
    presenter.join();
    delete view;
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

QTEST_MAIN(FramebufferViewTest)
#include "FramebufferViewTest.moc"
