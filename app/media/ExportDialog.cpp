#include "app/media/ExportDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "stream/export/PlaybackRangeSource.h"

namespace vistrel::media {

namespace {

std::unique_ptr<exporter::MediaSource> DvrSource(const ExportRequest& request, int minutes, std::string* error) {
    auto source = std::make_unique<exporter::PlaybackRangeSource>(
        request.url, request.user, request.password, request.channelIndex, std::int64_t(minutes) * 60 * 1000);
    if (!source->Start()) {
        *error = source->error();
        return nullptr;
    }
    return source;
}

}  // namespace

ExportDialog::ExportDialog(ExportRequest request, QWidget* parent)
    : QDialog(parent), request_(std::move(request)), makeSource_(DvrSource) {
    setWindowTitle(QStringLiteral("Export"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("From"), new QLabel(request_.startText, this));
    form->addRow(QStringLiteral("Channel"), new QLabel(QString::number(request_.channelIndex + 1), this));
    minutes_ = new QSpinBox(this);
    minutes_->setRange(1, kMaxMinutes);
    minutes_->setValue(5);
    minutes_->setSuffix(QStringLiteral(" min"));
    form->addRow(QStringLiteral("Length"), minutes_);
    auto* file = new QLabel(QDir::toNativeSeparators(request_.outputPath), this);
    file->setWordWrap(true);
    form->addRow(QStringLiteral("File"), file);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    progress_->setTextVisible(true);
    progress_->setFormat(QStringLiteral("%p%"));
    state_ = new QLabel(this);
    state_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    start_ = buttons->addButton(QStringLiteral("Export"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(start_, &QPushButton::clicked, this, &ExportDialog::startExport);
    connect(cancel_, &QPushButton::clicked, this, &ExportDialog::cancelOrClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress_);
    layout->addWidget(state_);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

ExportDialog::~ExportDialog() {
    job_.Cancel();
    job_.Wait();
}

void ExportDialog::setMinutes(int minutes) { minutes_->setValue(minutes); }

int ExportDialog::minutes() const { return minutes_->value(); }

void ExportDialog::startExport() {
    if (running_) return;
    std::string error;
    std::unique_ptr<exporter::MediaSource> source = makeSource_(request_, minutes(), &error);
    if (!source) {
        state_->setText(QStringLiteral("Cannot export: %1").arg(QString::fromStdString(error)));
        emit exportEnded(state_->text(), false);
        return;
    }
    QPointer<ExportDialog> self(this);
    // Both run on the job's worker; the destructor waits for it, so `self` outlives them.
    auto progress = [self](double fraction) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, fraction] {
                if (self) self->onProgress(fraction);
            },
            Qt::QueuedConnection);
    };
    auto done = [self](const exporter::ExportResult& result) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, result] {
                if (self) self->onDone(result);
            },
            Qt::QueuedConnection);
    };
    if (!job_.Start(std::move(source), request_.outputPath.toStdString(), progress, done)) {
        state_->setText(QStringLiteral("An export is still running"));
        return;
    }
    running_ = true;
    startedMs_ = QDateTime::currentMSecsSinceEpoch();
    progress_->setValue(0);
    minutes_->setEnabled(false);
    start_->setEnabled(false);
    state_->setText(QStringLiteral("Exporting..."));
}

void ExportDialog::onProgress(double fraction) {
    if (!running_) return;
    progress_->setValue(int(std::clamp(fraction, 0.0, 1.0) * 1000.0 + 0.5));
}

void ExportDialog::onDone(const exporter::ExportResult& result) {
    if (!running_) return;
    job_.Wait();  // the worker has handed over its result: this only joins it
    running_ = false;
    result_ = result;
    const double took = double(QDateTime::currentMSecsSinceEpoch() - startedMs_) / 1000.0;
    QString text;
    bool ok = false;
    if (result.cancelled) {
        text = QStringLiteral("Export cancelled; no file left behind");
    } else if (!result.ok) {
        text = QStringLiteral("Export failed: %1").arg(QString::fromStdString(result.error));
    } else {
        ok = true;
        progress_->setValue(progress_->maximum());
        text = QStringLiteral("Exported %1 s to %2 in %3 s")
                   .arg(double(result.durationMs) / 1000.0, 0, 'f', 1)
                   .arg(QDir::toNativeSeparators(request_.outputPath))
                   .arg(took, 0, 'f', 1);
        if (!result.note.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(result.note));
    }
    state_->setText(text);
    cancel_->setText(QStringLiteral("Close"));
    cancel_->setEnabled(true);
    emit exportEnded(text, ok);
    if (closeWhenDone_) close();
}

void ExportDialog::cancelOrClose() {
    if (running_) {
        // The worker ends soon and reports through onDone; the GUI thread does not wait for it.
        job_.Cancel();
        cancel_->setEnabled(false);
        state_->setText(QStringLiteral("Cancelling..."));
        return;
    }
    close();
}

void ExportDialog::reject() {
    if (running_) {
        closeWhenDone_ = true;
        cancelOrClose();
        return;
    }
    QDialog::reject();
}

}  // namespace vistrel::media
