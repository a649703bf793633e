#pragma once
// Export of a stretch of playback to a Matroska file: the user picks a number of minutes from the
// current position, watches the progress bar and may cancel. The export job runs on its own
// worker; its progress and its end reach this dialog through queued calls.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "stream/export/ExportJob.h"
#include "stream/export/MediaSource.h"

class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace vistrel::media {

struct ExportRequest {
    std::string url;  // playback request from the chosen start
    std::string user, password;
    int channelIndex = 0;  // 0..15
    QString startText;     // "2026-12-08 11:46:35", shown to the user
    QString outputPath;
};

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxMinutes = 60;

    // Makes the source of a request; null with the reason when it cannot (tests feed their own).
    using SourceFactory = std::function<std::unique_ptr<exporter::MediaSource>(const ExportRequest&, int minutes,
                                                                               std::string* error)>;

    explicit ExportDialog(ExportRequest request, QWidget* parent = nullptr);
    ~ExportDialog() override;  // cancels a running export and waits for its worker

    void setSourceFactory(SourceFactory factory) { makeSource_ = std::move(factory); }
    void setMinutes(int minutes);
    int minutes() const;
    bool running() const { return running_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* cancelButton() const { return cancel_; }
    const exporter::ExportResult& result() const { return result_; }

public slots:
    void startExport();
    // Cancels a running export (the dialog stays until it has ended), or closes the dialog.
    void cancelOrClose();

signals:
    // The export has ended: one line for the status line.
    void exportEnded(const QString& text, bool ok);

protected:
    void reject() override;  // Escape and the close box act as Cancel

private:
    void onProgress(double fraction);
    void onDone(const exporter::ExportResult& result);

    ExportRequest request_;
    SourceFactory makeSource_;
    exporter::ExportJob job_;
    exporter::ExportResult result_;  // GUI thread, once the job has ended
    bool running_ = false;
    bool closeWhenDone_ = false;
    std::int64_t startedMs_ = 0;

    QSpinBox* minutes_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* state_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace vistrel::media
