#include "app/media/MediaActions.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QTimeEdit>

#include <algorithm>
#include <vector>

#include "app/ControlIds.h"
#include "app/CwmTarselDlg.h"
#include "app/ScreenMode.h"
#include "app/extras/ExtrasMenu.h"
#include "app/media/ExportDialog.h"
#include "app/media/RecordController.h"
#include "app/media/SnapshotSaver.h"
#include "platform/qt/FramebufferView.h"
#include "stream/playback/PlaybackUrl.h"
#include "video/decoders/IDecoder.h"
#include "video/decoders/PIDecoder.h"

namespace vistrel::media {

namespace {

// The picture the live decoder shows now, as its 24-bit bitmap; empty without one.
std::vector<std::uint8_t> CaptureLive(live::LiveStreamSession& session) {
    std::vector<std::uint8_t> bitmap;
    session.WithDecoder([&](IDecoder* decoder) {
        if (decoder == nullptr) return;
        int w = 0, h = 0;
        decoder->GetPictureSize(&w, &h);
        if (w <= 0 || h <= 0) return;
        std::vector<std::uint8_t> buffer(std::size_t(w) * std::size_t(h) * 3 + 54, 0);
        // No data: the decoder only writes the bitmap of the picture it shows.
        decoder->DecodeAndCapture(nullptr, 0, true, buffer.data(), buffer.size(), false);
        if (buffer[0] == 'B' && buffer[1] == 'M') bitmap.swap(buffer);
    });
    return bitmap;
}

std::vector<std::uint8_t> CapturePlayback(playback::CPlayer& player, int channelIndex) {
    std::uint8_t* buffer = nullptr;
    std::size_t size = 0;
    if (!player.CaptureBitmap(channelIndex, &buffer, &size) || buffer == nullptr) return {};
    std::vector<std::uint8_t> bitmap(buffer, buffer + size);
    PIDecoder::ReleaseBitmap(buffer);
    return bitmap;
}

QString comboText(app::CwmTarselDlg& w, int id) {
    auto* combo = qobject_cast<QComboBox*>(w.control(id));
    return combo ? combo->currentText() : QString();
}

QString editText(app::CwmTarselDlg& w, int id) {
    auto* edit = qobject_cast<QLineEdit*>(w.control(id));
    return edit ? edit->text() : QString();
}

}  // namespace

MediaActions::MediaActions(app::CwmTarselDlg& window) : QObject(&window), window_(window) {
    snapshot_ = new QAction(QStringLiteral("Snapshot"), this);
    snapshot_->setShortcut(QKeySequence(Qt::Key_S));
    snapshot_->setShortcutContext(Qt::WindowShortcut);
    record_ = new QAction(QStringLiteral("Record"), this);
    record_->setCheckable(true);
    export_ = new QAction(QStringLiteral("Export..."), this);
    mute_ = new QAction(QStringLiteral("Mute"), this);
    mute_->setCheckable(true);
    for (QAction* a : {snapshot_, record_, export_}) a->setEnabled(false);
    // On the window itself so that the key works whatever holds the focus (as long as the focus
    // widget does not take the letter for itself, as text fields do).
    window_.addAction(snapshot_);

    connect(snapshot_, &QAction::triggered, this, &MediaActions::takeSnapshot);
    connect(record_, &QAction::toggled, this, &MediaActions::toggleRecording);
    connect(export_, &QAction::triggered, this, &MediaActions::openExport);

    recorder_ = new RecordController(&window_, this);
    connect(recorder_, &RecordController::message, this, &MediaActions::say);
    connect(recorder_, &RecordController::recordingChanged, this, [this](bool on) {
        const QSignalBlocker quiet(record_);
        record_->setChecked(on);
    });
    window_.liveSession().SetBlockObserver(recorder_->observer());

    audio_ = new AudioOutput(nullptr, nullptr, this);
    connect(mute_, &QAction::toggled, audio_, &AudioOutput::setMuted);
    window_.player().SetAudioSink(audio_);

    if (app::ExtrasMenu* menu = window_.extrasMenu())
        menu->addSection(QStringLiteral("Media"), {snapshot_, record_, export_, mute_});
    connect(this, &MediaActions::message, &window_, &app::CwmTarselDlg::showStatusMessage);
}

MediaActions::~MediaActions() { shutdown(); }

void MediaActions::useAudioDevice(std::unique_ptr<AudioDevice> device) {
    auto* fresh = new AudioOutput(std::move(device), nullptr, this);
    fresh->setMuted(mute_->isChecked());
    connect(mute_, &QAction::toggled, fresh, &AudioOutput::setMuted);
    window_.player().SetAudioSink(fresh);  // the old output is no longer called after this
    delete audio_;
    audio_ = fresh;
}

void MediaActions::say(const QString& text) {
    lastMessage_ = text;
    emit message(text);
}

int MediaActions::channel() const {
    bool ok = false;
    const int c = comboText(window_, app::id::kChannelList).toInt(&ok);
    return ok ? c : 0;
}

void MediaActions::modeApplied(int mode, bool playback) {
    const bool pictures = mode != app::ModeLogin;
    live_ = pictures && !playback;
    snapshot_->setEnabled(pictures && !shutDown_);
    record_->setEnabled(live_ && !shutDown_);
    export_->setEnabled(pictures && playback && !shutDown_);
    mute_->setEnabled(pictures && playback);
    // Camera mode and full screen show the same live stream: the recording goes on there.
    if (!live_) recorder_->stop(playback ? QStringLiteral("playback started") : QStringLiteral("logged out"));
    recorder_->placeOverlay(window_.view()->geometry());
}

void MediaActions::liveStreamStarting() { recorder_->stop(QStringLiteral("the live stream changed")); }

void MediaActions::shutdown() {
    if (!shutDown_) {
        shutDown_ = true;
        for (QAction* a : {snapshot_, record_, export_}) a->setEnabled(false);
        recorder_->stop(QStringLiteral("the window closed"));
        if (exportDialog_) exportDialog_->cancelOrClose();
    }
    if (snapshotThread_.joinable()) snapshotThread_.join();
}

void MediaActions::takeSnapshot() {
    if (shutDown_ || window_.mode() == app::ModeLogin) return;
    if (snapshotBusy_) {
        say(QStringLiteral("A snapshot is still being saved"));
        return;
    }
    if (snapshotThread_.joinable()) snapshotThread_.join();
    const bool playback = !live_;
    const int ch = channel();
    const QString folder = SnapshotFolder();
    const QString name = MediaFileName(ch, QDateTime::currentDateTime(), QStringLiteral(".png"));
    live::LiveStreamSession* session = &window_.liveSession();
    playback::CPlayer* player = &window_.player().player();
    snapshotBusy_ = true;
    // Capture and PNG coding on a thread of their own; shutdown() joins it before the streams go.
    snapshotThread_ = std::thread([this, playback, ch, folder, name, session, player] {
        const std::vector<std::uint8_t> bitmap = playback ? CapturePlayback(*player, ch - 1)
                                                          : CaptureLive(*session);
        QString error;
        QString path;
        const QImage image = ImageFromSnapshotBitmap(bitmap);
        if (image.isNull()) error = QStringLiteral("no picture yet");
        else path = SaveSnapshotPng(image, folder, name, &error);
        QMetaObject::invokeMethod(
            this, [this, path, error] { snapshotDone(path, error); }, Qt::QueuedConnection);
    });
}

void MediaActions::snapshotDone(const QString& path, const QString& error) {
    snapshotBusy_ = false;
    if (snapshotThread_.joinable()) snapshotThread_.join();
    if (path.isEmpty()) {
        say(QStringLiteral("Snapshot not saved: %1").arg(error));
        return;
    }
    say(QStringLiteral("Snapshot saved to %1").arg(QDir::toNativeSeparators(path)));
    emit snapshotSaved(path);
}

void MediaActions::toggleRecording(bool on) {
    if (!on) {
        recorder_->stop(QStringLiteral("stopped"));
        return;
    }
    if (shutDown_ || !live_ ||
        !recorder_->start(RecordingFolder(),
                          MediaFileName(channel(), QDateTime::currentDateTime(), QStringLiteral(".kvr")))) {
        const QSignalBlocker quiet(record_);
        record_->setChecked(false);
    }
}

void MediaActions::openExport() {
    if (shutDown_ || live_) return;
    if (exportDialog_ && !exportDialog_->isVisible()) delete exportDialog_.data();  // closed with Escape
    if (exportDialog_) {
        exportDialog_->raise();
        exportDialog_->activateWindow();
        return;
    }
    // From where the playback is now; before the first picture, from the pickers' time.
    auto* datePicker = qobject_cast<QDateEdit*>(window_.control(app::id::kDatePicker));
    auto* timePicker = qobject_cast<QTimeEdit*>(window_.control(app::id::kTimePicker));
    const QDate date = datePicker ? datePicker->date() : QDate::currentDate();
    QTime time = timePicker ? timePicker->time() : QTime(0, 0);
    const int position = window_.player().player().GetPlayPosition();
    if (position > 0 && position < 3600 * 1000) time = QTime(time.hour(), position / 60000, position / 1000 % 60);

    ExportRequest request;
    const std::string host = comboText(window_, app::id::kHostCombo).toStdString();
    const std::string port = editText(window_, app::id::kPortEdit).toStdString();
    request.url =
        playback::BuildPlaybackUrl(host, port,
                                   playback::PackPlaybackRange(date.year(), date.month(), date.day(), time.hour(),
                                                               time.minute(), time.second()));
    request.user = comboText(window_, app::id::kUserCombo).toStdString();
    request.password = editText(window_, app::id::kPasswordEdit).toStdString();
    request.channelIndex = std::max(0, channel() - 1);
    const QDateTime start(date, time);
    request.startText = start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString folder = RecordingFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        say(QStringLiteral("Export not possible: cannot make the folder '%1'").arg(folder));
        return;
    }
    request.outputPath = UniqueFilePath(folder, MediaFileName(channel(), start, QStringLiteral(".mkv")));

    exportDialog_ = new ExportDialog(std::move(request), &window_);
    exportDialog_->setAttribute(Qt::WA_DeleteOnClose);
    exportDialog_->setWindowModality(Qt::NonModal);
    connect(exportDialog_, &ExportDialog::exportEnded, this, [this](const QString& text, bool) { say(text); });
    exportDialog_->show();
}

}  // namespace vistrel::media
