// Snapshot, live recording, export and playback sound as the user reaches them in the main
// window, against the demo DVR running inside the test. Every file goes below a temporary HOME.

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>

#include "app/ControlIds.h"
#include "app/CwmTarselDlg.h"
#include "app/connection/ConnectionBringUp.h"
#include "app/media/ExportDialog.h"
#include "app/media/MediaActions.h"
#include "app/media/RecordController.h"
#include "app/media/SnapshotSaver.h"
#include "platform/qt/FramebufferView.h"
#include "stream/export/LiveRecordingSource.h"
#include "stream/http/StreamRequest.h"
#include "tests/support/dvr/RunningDvr.h"
#include "tests/support/qt/WindowFixture.h"
#include "tools/dvr/DvrServer.h"
#include "video/decoders/PIDecoder.h"

using namespace vistrel;
using namespace vistrel::app;

namespace {

constexpr int kWaitMs = testsupport::kWindowWaitMs;
constexpr int kRecordedSeconds = 90;  // per hour of the emulator's recordings

// Plays in real time from its opening; counts what it was given.
struct FakeAudioDevice final : media::AudioDevice {
    struct Counts {
        bool open = false;
        int opens = 0;
        std::uint64_t written = 0;
    };
    std::shared_ptr<Counts> counts = std::make_shared<Counts>();
    std::chrono::steady_clock::time_point openedAt;
    std::int64_t capacity = 0;
    std::uint64_t sinceOpen = 0;
    int rate = 8000;

    bool Open(int sampleRate, int, int bufferFrames, QString*) override {
        counts->open = true;
        ++counts->opens;
        openedAt = std::chrono::steady_clock::now();
        capacity = bufferFrames;
        sinceOpen = 0;
        rate = sampleRate;
        return true;
    }
    void Close() override { counts->open = false; }
    std::uint64_t ProcessedFrames() override {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - openedAt)
                .count();
        return std::min<std::uint64_t>(sinceOpen, std::uint64_t(ms) * std::uint64_t(rate) / 1000);
    }
    std::int64_t FramesFree() override {
        return counts->open ? capacity - std::int64_t(sinceOpen - ProcessedFrames()) : 0;
    }
    std::int64_t Write(const std::int16_t*, std::int64_t frames) override {
        const std::int64_t n = std::min(frames, FramesFree());
        sinceOpen += std::uint64_t(n);
        counts->written += std::uint64_t(n);
        return n;
    }
    bool Failed(QString*) override { return false; }
};

// Takes `okBytes`, then fails every write as a full disk does.
struct DiskFullWriter final : record::ByteWriter {
    std::size_t okBytes;
    std::size_t taken = 0;
    explicit DiskFullWriter(std::size_t ok) : okBytes(ok) {}
    bool Write(const std::uint8_t*, std::size_t length, std::string* error) override {
        if (taken + length > okBytes) {
            *error = "No space left on device";
            return false;
        }
        taken += length;
        return true;
    }
    bool Close(std::string*) override { return true; }
};

// The pixels of a 24-bit bottom-up bitmap, read here by hand rather than through Qt's reader.
QImage DecodeBitmapByHand(const std::uint8_t* b, std::size_t size) {
    if (size < 54 || b[0] != 'B' || b[1] != 'M') return {};
    auto u32 = [&](int at) {
        std::uint32_t v;
        std::memcpy(&v, b + at, 4);
        return v;
    };
    const std::uint32_t offset = u32(10);
    const int w = int(u32(18));
    const int h = int(std::int32_t(u32(22)));
    const std::size_t stride = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
    if (w <= 0 || h <= 0 || offset + stride * std::size_t(h) > size) return {};
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = b + offset + stride * std::size_t(h - 1 - y);
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]));
    }
    return img;
}

// Units a recording file gives back when read as `vistrel-cli export --from-file` reads it.
int RecordingUnits(const QString& path) {
    exporter::LiveRecordingSource source;
    if (!source.Open(path.toStdString())) return -1;
    exporter::MediaUnit unit;
    int units = 0;
    while (source.Next(unit) == exporter::SourceStatus::Unit) ++units;
    return units;
}

// With VISTREL_SHOT_DIR set, what the user sees is saved there for a look by eye.
void SaveShot(QWidget& widget, const char* name) {
    const QByteArray dir = qgetenv("VISTREL_SHOT_DIR");
    if (!dir.isEmpty()) widget.grab().save(QDir(QString::fromUtf8(dir)).filePath(QString::fromLatin1(name)));
}

QString Ffprobe(const QString& file, const QString& entries) {
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"), entries,
             QStringLiteral("-of"), QStringLiteral("default=nw=1:nk=1"), file});
    if (!p.waitForFinished(60000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

}  // namespace

class WindowMediaTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    std::unique_ptr<dvr::DvrServer> dvr_;
    testsupport::OnlineProbe probe_;
    testsupport::QuietErrorSink sink_;

    QString pictures() const { return home_.filePath(QStringLiteral("Pictures/Vistrel")); }
    QString videos() const { return home_.filePath(QStringLiteral("Videos/Vistrel")); }

    std::unique_ptr<CwmTarselDlg> openAndLogIn(int channel) {
        auto dlg = testsupport::ShowWindow(testsupport::WindowSettings(
            home_.filePath(QStringLiteral("profile.txt")).toStdString(), &probe_, &sink_));
        if (dlg) testsupport::LogIn(*dlg, channel, dvr_->port());
        return dlg;
    }

    // Playback of the recording from the start of an hour.
    static bool playFromHourStart(CwmTarselDlg& dlg) {
        dlg.setPlaybackStart(QDateTime(QDate(2026, 12, 8), QTime(11, 0, 0)));
        dlg.onButton(id::kPlaybackButton);
        return QTest::qWaitFor([&] { return dlg.player().player().DecodedCount() > 3; }, kWaitMs);
    }

    static void choose(CwmTarselDlg& dlg, int id, int index) {
        auto* c = qobject_cast<QComboBox*>(dlg.control(id));
        c->setCurrentIndex(index);
        emit c->activated(index);
    }

private slots:
    void initTestCase() {
        QVERIFY(home_.isValid());
        // Pictures and videos go below $HOME when no user-dirs file names other folders.
        qputenv("HOME", home_.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home_.filePath(QStringLiteral("config")).toUtf8());
        QCOMPARE(media::SnapshotFolder(), pictures());
        QCOMPARE(media::RecordingFolder(), videos());
        QVERIFY(http::OpenInternetRoot("KEMBQM/MSIE"));
        dvr::DvrOptions options;
        options.frameIntervalMs = 40;
        options.recordedSecondsPerHour = kRecordedSeconds;
        dvr_ = testsupport::StartDvr(options);
        QVERIFY(dvr_);
    }

    void cleanupTestCase() {
        dvr_.reset();
        http::CloseInternetRoot();
    }

    // Key S in live view; in playback the saved PNG has the paused picture's own size and pixels.
    void snapshotIsTheDecodedPictureAtItsOwnSize() {
        auto dlg = openAndLogIn(3);
        QVERIFY(dlg);
        media::MediaActions& media = *dlg->media();
        QVERIFY(testsupport::LivePicturesCome(*dlg));
        QSignalSpy saved(&media, &media::MediaActions::snapshotSaved);
        QTest::keyClick(dlg.get(), Qt::Key_S);
        QVERIFY(saved.wait(kWaitMs));
        const QString livePath = saved.takeFirst().at(0).toString();
        QCOMPARE(QFileInfo(livePath).absolutePath(), pictures());
        QVERIFY2(QRegularExpression(QStringLiteral("^ch03-\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.png$"))
                     .match(QFileInfo(livePath).fileName())
                     .hasMatch(),
                 qPrintable(livePath));
        QVERIFY(media.lastMessage().contains(livePath));
        QImage live(livePath, "PNG");
        QCOMPARE(live.size(), QSize(320, 240));  // the emulator's H.263 size, not the screen's

        // MPEG-4 in playback, paused so the picture stays put.
        choose(*dlg, id::kChannelList, 8);
        QVERIFY(playFromHourStart(*dlg));
        dlg->onButton(id::kPauseButton);
        std::uint8_t* bitmap = nullptr;
        std::size_t size = 0;
        QVERIFY(dlg->player().player().CaptureBitmap(8, &bitmap, &size));
        const QImage reference = DecodeBitmapByHand(bitmap, size);
        PIDecoder::ReleaseBitmap(bitmap);
        QVERIFY(!reference.isNull());
        media.snapshotAction()->trigger();
        QVERIFY(saved.wait(kWaitMs));
        const QString playPath = saved.takeFirst().at(0).toString();
        QVERIFY(QFileInfo(playPath).fileName().startsWith(QStringLiteral("ch09-")));
        const QImage png = QImage(playPath, "PNG").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(png.size(), reference.size());
        QVERIFY(png.size() != dlg->view()->size());
        QVERIFY(png == reference);

        // The bitmap read for the PNG, cut short or with bits flipped: a picture or nothing, no fault.
        std::vector<std::uint8_t> bytes(size);
        QVERIFY(dlg->player().player().CaptureBitmap(8, &bitmap, &size));
        bytes.assign(bitmap, bitmap + size);
        PIDecoder::ReleaseBitmap(bitmap);
        for (std::size_t cut : {std::size_t(0), std::size_t(2), std::size_t(30), std::size_t(53), std::size_t(54),
                                size / 2, size - 1}) {
            const std::vector<std::uint8_t> shorter(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut));
            QVERIFY(media::ImageFromSnapshotBitmap(shorter).isNull() || cut >= 54);
        }
        for (std::size_t bit = 0; bit < 54 * 8; bit += 3) {
            std::vector<std::uint8_t> flipped = bytes;
            flipped[bit / 8] ^= std::uint8_t(1u << (bit % 8));
            const QImage image = media::ImageFromSnapshotBitmap(flipped);
            QVERIFY(image.isNull() ||
                    std::size_t(image.width()) * std::size_t(image.height()) * 3 <= bytes.size());
        }
        // Two snapshots within a second keep both files.
        QString error;
        const QString first = media::SaveSnapshotPng(png, pictures(), QStringLiteral("same.png"), &error);
        const QString second = media::SaveSnapshotPng(png, pictures(), QStringLiteral("same.png"), &error);
        QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("same-2.png"));
        QVERIFY(QFile::exists(first));
    }

    // Each way a recording ends leaves a whole file the exporter reads; the REC mark shows while it runs.
    void recordingEndsCleanlyOnChannelModeStopAndExit() {
        QDir(videos()).removeRecursively();
        auto dlg = openAndLogIn(1);
        QVERIFY(dlg);
        media::MediaActions& media = *dlg->media();
        media::RecordController& rec = media.recorder();
        QVERIFY(testsupport::LivePicturesCome(*dlg));
        QSignalSpy finished(&rec, &media::RecordController::finished);
        auto recordAWhile = [&] {
            media.recordAction()->trigger();
            if (!rec.recording() || !media.recordAction()->isChecked()) return false;
            const std::uint64_t frames = dlg->liveSession().Stats().framesDecoded;
            return testsupport::LivePicturesCome(*dlg, frames + 3);
        };

        QVERIFY(recordAWhile());
        QTRY_VERIFY_WITH_TIMEOUT(rec.overlay()->text().contains(QStringLiteral("REC")), kWaitMs);
        QVERIFY(rec.overlay()->isVisible());
        QVERIFY(dlg->view()->geometry().contains(rec.overlay()->geometry()));
        SaveShot(*dlg, "window-recording.png");
        choose(*dlg, id::kChannelList, 9);  // channel 10: the recording of channel 1 ends
        QVERIFY(!rec.recording());
        QVERIFY(!rec.overlay()->isVisible());
        QVERIFY(finished.wait(kWaitMs));

        QVERIFY(recordAWhile());
        dlg->onButton(id::kCameraButton);  // the same stream: the recording goes on
        QVERIFY(rec.recording());
        dlg->onButton(id::kPlaybackButton);
        QVERIFY(!rec.recording());
        QVERIFY(!media.recordAction()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kWaitMs);

        dlg->onButton(id::kLiveButton);
        QVERIFY(testsupport::LivePicturesCome(*dlg));
        QVERIFY(recordAWhile());
        media.recordAction()->trigger();  // the toggle off
        QVERIFY(!rec.recording());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, kWaitMs);

        QVERIFY(recordAWhile());
        const QString last = rec.path();
        dlg.reset();  // exit with the recording running
        QVERIFY(QFile::exists(last));

        const QStringList files = QDir(videos()).entryList({QStringLiteral("*.kvr")}, QDir::Files);
        QCOMPARE(files.size(), 4);
        for (const QString& f : files) {
            const int units = RecordingUnits(QDir(videos()).filePath(f));
            QVERIFY2(units > 0, qPrintable(f));
        }
        for (int i = 0; i < finished.count(); ++i) QVERIFY(finished.at(i).at(1).toBool());
    }

    // A full disk stops the recording with a message and the live picture goes on; a folder
    // that cannot be made refuses to start.
    void failingRecordingStopsWithAMessageAndLiveGoesOn() {
        auto dlg = openAndLogIn(9);
        QVERIFY(dlg);
        media::MediaActions& media = *dlg->media();
        media::RecordController& rec = media.recorder();
        QVERIFY(testsupport::LivePicturesCome(*dlg));
        rec.setWriterFactory(
            [](const std::string&, std::string*) { return std::make_unique<DiskFullWriter>(20000); });
        media.recordAction()->trigger();
        QVERIFY(rec.recording());
        QTRY_VERIFY_WITH_TIMEOUT(!rec.recording(), kWaitMs);
        QVERIFY(!media.recordAction()->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(media.lastMessage().contains(QStringLiteral("No space left on device")), kWaitMs);
        QVERIFY(media.lastMessage().startsWith(QStringLiteral("Recording stopped")));
        QVERIFY(testsupport::LivePicturesCome(*dlg, dlg->liveSession().Stats().framesDecoded + 5));

        // A file where the folder should be.
        rec.setWriterFactory(
            [](const std::string& path, std::string* error) { return record::OpenFileWriter(path, error); });
        QDir(videos()).removeRecursively();
        QVERIFY(QDir().mkpath(QFileInfo(videos()).absolutePath()));
        {
            QFile blocker(videos());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        media.recordAction()->trigger();
        QVERIFY(!rec.recording());
        QVERIFY(!media.recordAction()->isChecked());
        QVERIFY(media.lastMessage().startsWith(QStringLiteral("Recording not started")));
        QVERIFY(testsupport::LivePicturesCome(*dlg, dlg->liveSession().Stats().framesDecoded + 5));
        QFile::remove(videos());
    }

    // One minute from the playback position, read back by ffprobe; Cancel leaves no file.
    void exportFromPlaybackWithProgressAndCancel() {
        QDir(videos()).removeRecursively();
        auto dlg = openAndLogIn(13);
        QVERIFY(dlg);
        media::MediaActions& media = *dlg->media();
        QVERIFY(!media.exportAction()->isEnabled());  // live view
        QVERIFY(playFromHourStart(*dlg));
        dlg->onButton(id::kPauseButton);
        QVERIFY(media.exportAction()->isEnabled());
        media.exportAction()->trigger();
        media::ExportDialog* box = media.exportDialog();
        QVERIFY(box);
        QVERIFY(box->isVisible());
        box->setMinutes(1);
        QSignalSpy progress(box->progressBar(), &QProgressBar::valueChanged);
        QSignalSpy ended(box, &media::ExportDialog::exportEnded);
        const auto began = std::chrono::steady_clock::now();
        box->startExport();
        QVERIFY(box->running());
        QTRY_VERIFY_WITH_TIMEOUT(box->progressBar()->value() > 0, kWaitMs);
        SaveShot(*box, "export-running.png");
        QTRY_VERIFY_WITH_TIMEOUT(ended.count() == 1, kWaitMs * 3);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        QVERIFY2(ended.at(0).at(1).toBool(), qPrintable(ended.at(0).at(0).toString()));
        QVERIFY(progress.count() >= 2);
        SaveShot(*box, "export-done.png");
        QCOMPARE(box->progressBar()->value(), box->progressBar()->maximum());
        const exporter::ExportResult result = box->result();
        const QStringList files = QDir(videos()).entryList({QStringLiteral("ch13-*.mkv")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const QString file = QDir(videos()).filePath(files[0]);
        const double duration = Ffprobe(file, QStringLiteral("format=duration")).toDouble();
        // From where the playback stood (a few seconds in) one minute on: within a record's interval.
        QVERIFY2(std::abs(duration - 60.0) <= 0.5, qPrintable(QString::number(duration)));
        QCOMPARE(Ffprobe(file, QStringLiteral("stream=codec_name")).split('\n'),
                 QStringList({QStringLiteral("mpeg4"), QStringLiteral("pcm_s16le")}));
        qInfo("window export: %.1f s of recording (%llu frames) in %.2f s, %.1fx real time",
              double(result.durationMs) / 1000, static_cast<unsigned long long>(result.videoFrames), took,
              double(result.durationMs) / 1000 / took);
        QVERIFY(media.lastMessage().startsWith(QStringLiteral("Exported")));

        // Cancel while it runs: the dialog stays until the job has ended, and no file is left.
        QFile::remove(file);
        ended.clear();
        box->startExport();
        QVERIFY(box->running());
        box->cancelButton()->click();
        QVERIFY(box->isVisible());
        QVERIFY(ended.wait(kWaitMs));
        QVERIFY(!ended.at(0).at(1).toBool());
        QVERIFY(box->result().cancelled);
        QVERIFY(!QFile::exists(file));
        box->cancelButton()->click();  // now "Close"
        QTRY_VERIFY_WITH_TIMEOUT(media.exportDialog() == nullptr, kWaitMs);
    }

    // The device is fed at 1X only: not when muted, at 2X or paused; playing on resumes it.
    void soundAt1XOnlyAndMute() {
        auto dlg = openAndLogIn(14);
        QVERIFY(dlg);
        media::MediaActions& media = *dlg->media();
        auto device = std::make_unique<FakeAudioDevice>();
        const auto counts = device->counts;
        media.useAudioDevice(std::move(device));
        QVERIFY(playFromHourStart(*dlg));
        QTRY_VERIFY_WITH_TIMEOUT(counts->written > 8000, kWaitMs);  // a second of sound
        qInfo("sound against pictures at 1X: last %lld ms, worst %lld ms",
              static_cast<long long>(media.audio().lastOffsetMs()),
              static_cast<long long>(media.audio().worstOffsetMs()));

        auto stillFor = [&](int ms) {
            const std::uint64_t before = counts->written;
            QTest::qWait(ms);
            return counts->written == before;
        };
        media.muteAction()->trigger();
        QVERIFY(media.audio().muted());
        QTRY_VERIFY_WITH_TIMEOUT(!counts->open, kWaitMs);
        QVERIFY(stillFor(600));
        media.muteAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(counts->open, kWaitMs);
        const std::uint64_t resumed = counts->written;
        QTRY_VERIFY_WITH_TIMEOUT(counts->written > resumed + 4000, kWaitMs);

        choose(*dlg, id::kPlaySpeedList, 2);  // 2X
        QTRY_VERIFY_WITH_TIMEOUT(!counts->open, kWaitMs);
        QVERIFY(stillFor(600));
        choose(*dlg, id::kPlaySpeedList, 1);  // 1X again
        QTRY_VERIFY_WITH_TIMEOUT(counts->open, kWaitMs);
        dlg->onButton(id::kPauseButton);
        QTRY_VERIFY_WITH_TIMEOUT(!counts->open, kWaitMs);
        QVERIFY(stillFor(600));
    }
};

QTEST_MAIN(WindowMediaTest)
#include "WindowMediaTest.moc"
