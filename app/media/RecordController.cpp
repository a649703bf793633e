#include "app/media/RecordController.h"

#include <QDir>
#include <QPointer>

#include <algorithm>

#include "app/media/SnapshotSaver.h"

namespace vistrel::media {

namespace {
constexpr int kMarkRefreshMs = 500;
constexpr int kMarkMargin = 6;
}  // namespace

QString SizeText(std::uint64_t bytes) {
    if (bytes < 1024 * 1024) return QStringLiteral("%1 KB").arg((bytes + 512) / 1024);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

QString ElapsedText(std::int64_t ms) {
    const std::int64_t s = std::max<std::int64_t>(0, ms) / 1000;
    const auto two = [](std::int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    if (s >= 3600) return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(two(s / 60 % 60), two(s % 60));
    return QStringLiteral("%1:%2").arg(two(s / 60), two(s % 60));
}

RecordController::RecordController(QWidget* overlayParent, QObject* parent)
    : QObject(parent), makeWriter_([](const std::string& path, std::string* error) {
          return record::OpenFileWriter(path, error);
      }) {
    mark_ = new QLabel(overlayParent);
    mark_->setObjectName(QStringLiteral("recordMark"));
    mark_->setAttribute(Qt::WA_TransparentForMouseEvents);
    mark_->setStyleSheet(QStringLiteral(
        "QLabel { color: white; background: rgba(0, 0, 0, 150); border-radius: 3px; padding: 2px 6px; }"));
    mark_->hide();
    tick_.setInterval(kMarkRefreshMs);
    connect(&tick_, &QTimer::timeout, this, &RecordController::refreshMark);
}

RecordController::~RecordController() {
    tick_.stop();
    std::shared_ptr<record::LiveRecorder> last;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        last.swap(current_);
    }
    if (last) last->Stop();
    for (std::thread& t : finishers_) t.join();
}

std::function<void(const std::uint8_t*, std::size_t)> RecordController::observer() {
    return [this](const std::uint8_t* data, std::size_t length) {
        std::shared_ptr<record::LiveRecorder> recorder;
        {
            const std::lock_guard<std::mutex> hold(lock_);
            recorder = current_;
        }
        if (recorder) recorder->OnBlock(data, length);
    };
}

bool RecordController::start(const QString& folder, const QString& fileName) {
    if (running_) return true;
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        emit message(QStringLiteral("Recording not started: cannot make the folder '%1'").arg(folder));
        return false;
    }
    const QString path = UniqueFilePath(folder, fileName);
    std::string error;
    std::unique_ptr<record::ByteWriter> writer = makeWriter_(path.toStdString(), &error);
    auto recorder = std::make_shared<record::LiveRecorder>(queueLimit_);
    if (!writer || !recorder->Start(std::move(writer))) {
        emit message(QStringLiteral("Recording not started: %1")
                         .arg(error.empty() ? QStringLiteral("cannot write '%1'").arg(path)
                                            : QString::fromStdString(error)));
        return false;
    }
    // The writer thread reports a failure; the GUI thread ends the recording.
    QPointer<RecordController> self(this);
    std::weak_ptr<record::LiveRecorder> which = recorder;
    recorder->SetStoppedCallback([self, which](const std::string& reason) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, which, reason] {
                if (self && self->running_ && self->running_ == which.lock())
                    self->onFailed(QString::fromStdString(reason));
            },
            Qt::QueuedConnection);
    });
    running_ = recorder;
    path_ = path;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        current_ = recorder;
    }
    refreshMark();
    mark_->show();
    mark_->raise();
    tick_.start();
    emit recordingChanged(true);
    emit message(QStringLiteral("Recording to %1").arg(QDir::toNativeSeparators(path)));
    return true;
}

void RecordController::stop(const QString& why) {
    if (!running_) return;
    std::shared_ptr<record::LiveRecorder> recorder;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        current_.reset();
    }
    recorder.swap(running_);
    tick_.stop();
    mark_->hide();
    finishInBackground(std::move(recorder), path_, why);
    emit recordingChanged(false);
}

void RecordController::onFailed(const QString& reason) { stop(QStringLiteral("failed: %1").arg(reason)); }

void RecordController::finishInBackground(std::shared_ptr<record::LiveRecorder> recorder, const QString& path,
                                          const QString& why) {
    QPointer<RecordController> self(this);
    finishers_.emplace_back([self, recorder = std::move(recorder), path, why] {
        std::string reason;
        const bool ok = recorder->Stop(&reason);
        const QString text =
            ok ? QStringLiteral("Recording saved to %1 (%2)").arg(QDir::toNativeSeparators(path), why)
               : QStringLiteral("Recording stopped: %1; kept what was written in %2")
                     .arg(QString::fromStdString(reason), QDir::toNativeSeparators(path));
        QMetaObject::invokeMethod(
            self.data(),
            [self, path, ok, text] {
                if (!self) return;
                ++self->finished_;
                emit self->message(text);
                emit self->finished(path, ok);
            },
            Qt::QueuedConnection);
    });
}

void RecordController::placeOverlay(const QRect& pictureArea) {
    area_ = pictureArea;
    mark_->adjustSize();
    mark_->move(area_.right() - mark_->width() - kMarkMargin, area_.top() + kMarkMargin);
    if (mark_->isVisible()) mark_->raise();
}

void RecordController::refreshMark() {
    if (!running_) return;
    mark_->setText(QStringLiteral("<span style='color:#ff3030'>&#9679;</span> REC %1  %2")
                       .arg(ElapsedText(running_->ElapsedMs()), SizeText(running_->BytesWritten())));
    placeOverlay(area_);
}

}  // namespace vistrel::media
