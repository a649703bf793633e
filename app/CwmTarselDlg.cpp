#include "app/CwmTarselDlg.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSlider>
#include <QTimeEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "app/ControlIds.h"
#include "app/camera/CameraController.h"
#include "app/connection/ConnectionBringUp.h"
#include "app/extras/ExtrasMenu.h"
#include "app/extras/StatusMessage.h"
#include "app/extras/ViewsController.h"
#include "app/layout/Geometry.h"
#include "app/layout/ImageButton.h"
#include "app/layout/ImagePictures.h"
#include "app/layout/StatusIcon.h"
#include "app/media/MediaActions.h"
#include "app/playback/PlaybackTexts.h"
#include "app/playback/ProgressRelay.h"
#include "app/views/GridTile.h"
#include "base/DvrProtocol.h"
#include "platform/Tick.h"
#include "platform/qt/FramebufferView.h"
#include "stream/playback/PlaybackDecoderFactory.h"
#include "stream/playback/PlaybackSpeed.h"
#include "stream/playback/RecordCrc.h"
#include "video/picture/ColourTables.h"

namespace vistrel::app {

namespace {

constexpr int kMinimumWidth = 240;
// Host, user and password: one profile field each, all held to the DVR's credential limit.
constexpr int kMaxLoginText = int(base::kMaxCredentialLength);
// The URLs take the port whole; five digits hold every TCP port, desktop DVRs often use 4 or 5.
constexpr int kMaxPortDigits = 5;
constexpr int kMaxChannelDigits = 2;
constexpr int kSliderRangeSeconds = 3600;
constexpr int kLabelGapPixels = 4;
// How long a window manager gets to make the window full screen before the window does it itself.
constexpr int kFullScreenCheckMs = 300;

const char* const kChannelItems[] = {"1", "2",  "3",  "4",  "5",  "6",  "7",  "8",
                                     "9", "10", "11", "12", "13", "14", "15", "16"};
static_assert(std::size(kChannelItems) == base::kChannelCount);
const char* const kCameraSpeedItems[] = {"slow", "normal", "fast"};
const char* const kPlaySpeedItems[] = {"Full", "1X", "2X", "4X", "(1/2)X", "(1/4)X", "(1/8)X"};

const int kToolbarButtons[] = {id::kLiveButton,       id::kPlaybackButton,  id::kCameraButton,
                               id::kFullScreenButton, id::kLoginModeButton, id::kExitButton};
const int kPlaybackButtons[] = {id::kPlayButton, id::kStopButton, id::kPauseButton};

QComboBox* makeList(QWidget* parent, const char* const* items, int count) {
    auto* combo = new QComboBox(parent);
    for (int i = 0; i < count; ++i) combo->addItem(QString::fromLatin1(items[i]));
    return combo;
}

QComboBox* makeEditableList(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    // Typed texts join the list only through Login, which also records them in the profile.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->lineEdit()->setMaxLength(kMaxLoginText);
    return combo;
}

QLabel* makeLabel(QWidget* parent, const char* text) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setContentsMargins(0, 0, kLabelGapPixels, 0);  // the rows put labels flush with their fields
    return label;
}

// Font size that fits a control row of 2 units.
int fontPixelsFor(int unit) { return std::clamp(unit * 7 / 10, 9, 40); }

}  // namespace

CwmTarselDlg::CwmTarselDlg(DlgSettings settings, QWidget* parent)
    : QWidget(parent),
      m_settings(std::move(settings)),
      m_liveSession(m_settings.liveTimings),
      m_player(playback::CreatePlaybackDecoder),
      m_profilePath(m_settings.profilePath.empty() ? DefaultProfilePath() : m_settings.profilePath),
      m_profile(std::make_unique<ProfileTable>()),
      m_navigator(*this) {
    setWindowTitle(QStringLiteral("Vistrel"));
    setWindowIcon(QIcon(ProgramIconPath()));
    setMinimumWidth(kMinimumWidth);
    // The picture area shows the framebuffer; black keeps it calm between pictures.
    setAutoFillBackground(true);

    m_relay = new ProgressRelay(this);
    m_camera = new CameraController(this);
    m_bringUp = m_settings.makeBringUp ? m_settings.makeBringUp(this) : new ConnectionBringUp(this);

    createControls();
    FillLoginControls();
    connectControls();
    // Made after the controls so the button and the message sit above them and the picture.
    m_extras = new ExtrasMenu(this, [this] { return m_view->isHidden() ? QRect() : m_view->geometry(); });
    m_statusMessage = new StatusMessage(this);

    // Dialog initialisation: the tables every decoder and record reader uses, built once here
    // so no decoding thread pays for them.
    InitColourTables(m_view->platformWindow());
    playback::BuildRecordCrcTable();
    m_media = new media::MediaActions(*this);
    m_views = new ViewsController(*this);

    const int width = std::max(kMinimumWidth, m_settings.initialWidth);
    int height = 0;
    for (int mode : {ModeLive, ModeCamera, ModePlayback, ModeLogin}) {
        const ModeLayout layout = LayOutMode(mode, width, true);
        for (const ControlRect& r : layout.shown) height = std::max(height, r.y + r.height);
    }
    resize(width, height + LayoutUnit(width) / 2);

    qApp->installEventFilter(this);
}

CwmTarselDlg::~CwmTarselDlg() {
    qApp->removeEventFilter(this);
    // The grid's sessions stop and the zoom gives the picture window back while it still exists.
    delete m_views;
    m_views = nullptr;
    // Teardown order: the player, then the live session; both are destroyed as members in the
    // same order (the player is declared last).
    m_bringUp->cancel();
    stopStreams();
}

void CwmTarselDlg::addControl(int controlId, QWidget* widget) {
    widget->setObjectName(QString::number(controlId));
    widget->hide();
    m_controls[controlId] = widget;
}

QWidget* CwmTarselDlg::control(int controlId) const {
    const auto it = m_controls.find(controlId);
    return it == m_controls.end() ? nullptr : it->second;
}

void CwmTarselDlg::createControls() {
    // Made first so the picture covers it: it only parks the keyboard focus.
    m_focusHolder = new QComboBox(this);
    addControl(id::kFocusHolder, m_focusHolder);

    m_view = new platform::qt::FramebufferView(m_settings.screenDepth, this);
    m_view->setObjectName(QStringLiteral("picture"));
    m_view->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_view->hide();

    m_comboHost = makeEditableList(this);
    addControl(id::kHostCombo, m_comboHost);
    m_editPort = new QLineEdit(this);
    m_editPort->setMaxLength(kMaxPortDigits);
    m_editPort->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), m_editPort));
    addControl(id::kPortEdit, m_editPort);
    m_comboUser = makeEditableList(this);
    addControl(id::kUserCombo, m_comboUser);
    m_editPassword = new QLineEdit(this);
    m_editPassword->setEchoMode(QLineEdit::Password);
    m_editPassword->setMaxLength(kMaxLoginText);
    addControl(id::kPasswordEdit, m_editPassword);
    addControl(id::kLoginButton, new QPushButton(QStringLiteral("Login"), this));
    addControl(id::kHostLabel, makeLabel(this, "IP"));
    addControl(id::kPortLabel, makeLabel(this, "Port"));
    addControl(id::kUserLabel, makeLabel(this, "Username"));
    addControl(id::kPasswordLabel, makeLabel(this, "Password"));

    m_comboChannel = makeList(this, kChannelItems, base::kChannelCount);
    addControl(id::kChannelList, m_comboChannel);
    m_comboPtzSpeed = makeList(this, kCameraSpeedItems, 3);
    addControl(id::kCameraSpeedList, m_comboPtzSpeed);
    m_comboPlaySpeed = makeList(this, kPlaySpeedItems, 7);
    addControl(id::kPlaySpeedList, m_comboPlaySpeed);
    for (QComboBox* combo : {m_comboHost, m_comboUser, m_comboChannel, m_comboPtzSpeed, m_comboPlaySpeed}) {
        const int items = DropDownVisibleItems(combo->objectName().toInt());
        if (items > 0) combo->setMaxVisibleItems(items);
    }

    const QDateTime now = QDateTime::currentDateTime();
    m_datePicker = new QDateEdit(now.date(), this);
    m_datePicker->setCalendarPopup(true);
    m_datePicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    addControl(id::kDatePicker, m_datePicker);
    m_timePicker = new QTimeEdit(QTime(now.time().hour(), now.time().minute(), now.time().second()), this);
    m_timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    addControl(id::kTimePicker, m_timePicker);
    m_sliderPos = new QSlider(Qt::Horizontal, this);
    addControl(id::kPositionSlider, m_sliderPos);
    m_staticTime = new QLabel(QStringLiteral("00:00:00"), this);
    m_staticTime->setAlignment(Qt::AlignCenter);
    addControl(id::kTimeText, m_staticTime);
    m_statusIcon = new StatusIcon(this);
    m_statusIcon->setKind(kStatusStopped);
    addControl(id::kStatusIcon, m_statusIcon);
    addControl(id::kBarText, new QLabel(QStringLiteral("bar"), this));

    auto addButton = [this](int buttonId) {
        addControl(buttonId, new ImageButton(buttonId, this));
        const int twin = TwinOf(buttonId);
        if (twin != 0) addControl(twin, new ImageButton(twin, this));
    };
    for (int b : kToolbarButtons) addButton(b);
    for (int b : kPlaybackButtons) addButton(b);
    for (int b = id::kFirstCameraButton; b <= id::kLastCameraButton; ++b) addButton(b);
}

void CwmTarselDlg::connectControls() {
    for (auto& [controlId, widget] : m_controls)
        if (auto* button = qobject_cast<ImageButton*>(widget))
            connect(button, &ImageButton::clicked, this, &CwmTarselDlg::onButton);
    connect(static_cast<QPushButton*>(control(id::kLoginButton)), &QPushButton::clicked, this,
            &CwmTarselDlg::Login);
    // Not the host's edit: Return there also picks the matching list item, which puts back the
    // port stored with it over the one just typed.
    for (QLineEdit* edit : {m_editPort, m_editPassword, m_comboUser->lineEdit()})
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (m_nMode == ModeLogin) Login();
        });
    connect(m_comboHost->lineEdit(), &QLineEdit::textEdited, this, [this] { m_bHostEdited = 1; });
    connect(m_comboUser->lineEdit(), &QLineEdit::textEdited, this, [this] { m_bUserEdited = 1; });
    connect(m_comboHost, &QComboBox::activated, this, &CwmTarselDlg::onHostSelected);
    // activated, not currentIndexChanged: choosing the item already shown must restart the stream.
    connect(m_comboChannel, &QComboBox::activated, this, [this] { onChannelSelected(); });
    connect(m_comboPlaySpeed, &QComboBox::activated, this, [this] { onPlaySpeedSelected(); });
    connect(m_datePicker, &QDateEdit::dateChanged, this, [this] { onDateChanged(); });
    connect(m_timePicker, &QTimeEdit::timeChanged, this, [this] { onTimeChanged(); });
    // The calendar pops up as a window of its own; its showing is the drop-down notification.
    m_datePicker->calendarWidget()->installEventFilter(this);
    connect(m_relay, &ProgressRelay::progress, this, &CwmTarselDlg::OnPlaybackProgress);
    connect(m_camera, &CameraController::finished, this, [this](bool answered) {
        if (m_nMode != ModeFullScreen && !m_exiting) EnableControls(true);
        emit cameraCommandDone(answered);
    });
    connect(m_bringUp, &ConnectionBringUp::finished, this, [this](bool up) {
        m_loginPending = false;
        if (up && !m_exiting) continueLogin();
    });
}

// ---- profile and login ----------------------------------------------------------------------

std::string CwmTarselDlg::text8(const QString& text, int maxLength) const {
    QByteArray bytes = text.toUtf8();
    int length = std::min<int>(int(bytes.size()), maxLength);
    // Never cut a character in half.
    while (length > 0 && length < bytes.size() && (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80)
        --length;
    return std::string(bytes.constData(), std::size_t(length));
}

void CwmTarselDlg::FillLoginControls() {
    m_comboChannel->setCurrentIndex(0);
    m_comboPlaySpeed->setCurrentIndex(1);
    m_comboPtzSpeed->setCurrentIndex(1);

    *m_profile = ProfileTable{};
    int hostCount = 0, accountCount = 0;
    if (!LoadProfile(*m_profile, m_profilePath, &hostCount, &accountCount)) hostCount = accountCount = 0;
    hostCount = std::clamp(hostCount, 0, kProfileEntryCount);
    accountCount = std::clamp(accountCount, 0, kProfileEntryCount);
    for (int i = 0; i < hostCount; ++i) m_comboHost->addItem(QString::fromUtf8(m_profile->entries[i].host));
    for (int i = 0; i < accountCount; ++i) m_comboUser->addItem(QString::fromUtf8(m_profile->entries[i].user));
    m_comboHost->setCurrentIndex(0);

    const ProfileEntry& first = m_profile->entries[0];
    m_comboHost->setEditText(QString::fromUtf8(first.host));
    m_comboUser->setEditText(QString::fromUtf8(first.user));
    m_editPassword->setText(QString::fromUtf8(first.password));
    m_editPort->setText(QString::fromUtf8(first.port).left(kMaxPortDigits));

    m_sliderPos->setRange(0, kSliderRangeSeconds);
}

bool CwmTarselDlg::SaveProfile(int hostCount, int accountCount) {
    return ::vistrel::app::SaveProfile(*m_profile, m_profilePath, std::min(hostCount, kProfileEntryCount),
                                       std::min(accountCount, kProfileEntryCount));
}

void CwmTarselDlg::setLoginFields(const QString& host, const QString& port, const QString& user,
                                  const QString& password) {
    m_comboHost->setEditText(host);
    m_editPort->setText(port.left(kMaxPortDigits));
    m_comboUser->setEditText(user);
    m_editPassword->setText(password);
    m_bHostEdited = 1;
    m_bUserEdited = 1;
}

void CwmTarselDlg::setChannel(int channel) {
    m_comboChannel->setCurrentIndex(std::clamp(channel, 1, base::kChannelCount) - 1);
}

void CwmTarselDlg::setPlaybackStart(const QDateTime& start) {
    const QSignalBlocker quietDate(m_datePicker);
    const QSignalBlocker quietTime(m_timePicker);
    m_datePicker->setDate(start.date());
    m_timePicker->setTime(start.time());
}

void CwmTarselDlg::onHostSelected(int index) {
    if (index < 0 || index >= kProfileEntryCount) return;
    m_editPort->setText(QString::fromUtf8(m_profile->entries[index].port).left(kMaxPortDigits));
}

void CwmTarselDlg::Login() {
    if (m_loginPending || m_exiting) return;
    BringUpConnection(kLoginBringUpSeconds);
}

void CwmTarselDlg::BringUpConnection(int seconds) {
    // The answer may come at once (finished() inside start()) or later from the event loop; the
    // login goes on in the finished() handler either way, and the window stays responsive.
    m_loginPending = true;
    m_bringUp->start(text8(m_comboHost->currentText(), kMaxLoginText), seconds);
}

// A typed host or user name joins the list (and the profile entry at the old list length) only
// when no item equals it exactly; a new host keeps the port typed with it.
void CwmTarselDlg::rememberTyped(QComboBox* combo, bool host) {
    const QString text = combo->currentText();
    if (text.isEmpty()) return;  // an empty login field is nothing to remember
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i) == text) return;
    const int index = combo->count();
    if (index >= kProfileEntryCount) return;  // the table is full: the oldest entries stay
    combo->addItem(text);
    ProfileEntry& entry = m_profile->entries[index];
    if (host) {
        SetProfileField(entry.host, text8(text, kMaxLoginText));
        SetProfileField(entry.port, text8(m_editPort->text(), kMaxPortDigits));
    } else {
        SetProfileField(entry.user, text8(text, kMaxLoginText));
    }
}

void CwmTarselDlg::continueLogin() {
    EnableControls(false);
    if (m_bHostEdited) {
        rememberTyped(m_comboHost, true);
        m_bHostEdited = 0;
    }
    if (m_bUserEdited) {
        rememberTyped(m_comboUser, false);
        m_bUserEdited = 0;
    }
    m_nMode = ModeLive;
    ApplyMode();
    m_liveSession.Stop();
    StartLive();
    EnableControls(true);
}

// ---- streams ----------------------------------------------------------------------------------

int CwmTarselDlg::channelNumber() const {
    bool ok = false;
    const int channel = QString::fromStdString(text8(m_comboChannel->currentText(), kMaxChannelDigits)).toInt(&ok);
    return ok ? channel : 0;
}

void CwmTarselDlg::StartLive() {
    if (m_media) m_media->liveStreamStarting();
    m_liveSession.SetNotifyWindow(m_view->platformWindow());
    m_strChannel = m_comboChannel->currentText();
    const std::string host = text8(m_comboHost->currentText(), kMaxLoginText);
    const std::string user = text8(m_comboUser->currentText(), kMaxLoginText);
    const std::string password = text8(m_editPassword->text(), kMaxLoginText);
    const std::string port = text8(m_editPort->text(), kMaxPortDigits);
    SaveProfile(m_comboHost->count(), m_comboUser->count());

    char url[live::kMaxLiveUrlLength + 1];
    std::snprintf(url, sizeof url, "http://%s:%s/pushall.htm;%d?scrw=1024", host.c_str(), port.c_str(),
                  channelNumber() - 1);
    m_liveUrl = url;
    m_liveSession.SetUrl(m_liveUrl);
    m_liveSession.SetUserName(user);
    m_liveSession.SetPassword(password);
    m_liveSession.Start();
}

void CwmTarselDlg::StartPlayback() {
    SetStatusIcon(kStatusStopped);
    m_player.SetNotifyWindow(m_view->platformWindow());
    m_strChannel = m_comboChannel->currentText();
    {
        const QSignalBlocker quiet(m_comboPlaySpeed);
        m_comboPlaySpeed->setCurrentIndex(1);
    }
    m_strPlaySpeed = m_comboPlaySpeed->currentText();
    // The list now says "1X": the player plays at 1X too, rather than at a speed the list no
    // longer shows.
    m_playerSpeed = PlaybackSpeedCode(1);
    m_player.SetSpeed(m_playerSpeed);

    const std::string host = text8(m_comboHost->currentText(), kMaxLoginText);
    const std::string user = text8(m_comboUser->currentText(), kMaxLoginText);
    const std::string password = text8(m_editPassword->text(), kMaxLoginText);
    const std::string port = text8(m_editPort->text(), kMaxPortDigits);

    const QDate date = m_datePicker->date();
    const QTime time = m_timePicker->time();
    const int year = date.isValid() ? date.year() : 0, month = date.isValid() ? date.month() : 0,
              day = date.isValid() ? date.day() : 0;
    const int hour = time.isValid() ? time.hour() : -1, minute = time.isValid() ? time.minute() : -1,
              second = time.isValid() ? time.second() : -1;
    m_playHour = hour;
    m_range = playback::PackPlaybackRange(year, month, day, hour, minute, second);

    m_player.SetUserName(user.c_str());
    m_player.SetPassword(password.c_str());
    m_player.SetChannel(std::clamp(channelNumber() - 1, 0, 15));
    m_player.SetProgressCallback(&ProgressRelay::Callback, m_relay);
    m_playbackUrl = playback::BuildPlaybackUrl(host, port, m_range);
    m_player.SetUrl(m_playbackUrl.c_str());
    m_player.Start(1);
    SetStatusIcon(kStatusPlaying);
}

void CwmTarselDlg::stopStreams() {
    // Only on the way out: a recording is finished and a snapshot written before the streams go.
    if (m_media) m_media->shutdown();
    m_player.Stop();
    m_liveSession.Stop();
}

bool CwmTarselDlg::playbackActive() const {
    return m_nMode == ModePlayback || (m_nMode == ModeFullScreen && m_nModeBeforeFullScreen == ModePlayback);
}

void CwmTarselDlg::onChannelSelected() {
    const QString text = m_comboChannel->currentText();
    if (text != m_strChannel || m_bReselectPending) {
        m_bReselectPending = 0;
        m_strChannel = text;
        EnableControls(false);
        if (playbackActive()) {
            m_player.Stop();
            StartPlayback();
        } else {
            m_liveSession.Stop();
            StartLive();
        }
        EnableControls(true);
        return;
    }
    // The channel already shown: come back once more, and the pending flag restarts its stream.
    m_bReselectPending = 1;
    QMetaObject::invokeMethod(
        this, [this] { onChannelSelected(); }, Qt::QueuedConnection);
}

// ---- playback controls ------------------------------------------------------------------------

void CwmTarselDlg::SetStatusIcon(int kind) { m_statusIcon->setKind(kind); }

void CwmTarselDlg::OnPlaybackProgress(int kind, int value) {
    if (kind != playback::kProgressPosition) {
        const int icon = StatusIconForReport(kind);
        if (icon != kStatusNoChange) SetStatusIcon(icon);
        return;
    }
    // Positions mean pictures are being shown: "waiting for data" is over.
    if (m_statusIcon->kind() == kStatusWaiting) SetStatusIcon(kStatusPlaying);
    const int seconds = value / 1000;
    if (m_nLastPosMs / 1000 == seconds) return;  // the screen changes once per whole second
    m_staticTime->setText(QString::fromStdString(PlaybackTimeText(m_playHour, value)));
    m_sliderPos->setValue(seconds);
    m_nLastPosMs = value;
}

void CwmTarselDlg::Play() {
    EnableControls(false);
    if (m_bRangeChanged) {
        m_player.Stop();
        StartPlayback();
    } else {
        m_player.Play();
        SetStatusIcon(kStatusPlaying);
    }
    m_bRangeChanged = 0;
    EnableControls(true);
}

void CwmTarselDlg::Stop() {
    EnableControls(false);
    m_bRangeChanged = 1;
    m_nMode = ModePlayback;
    ApplyMode();
    m_player.Stop();
    EnableControls(true);
}

void CwmTarselDlg::Pause() {
    EnableControls(false);
    SetStatusIcon(kStatusPaused);
    m_player.Pause();
    EnableControls(true);
}

void CwmTarselDlg::onPlaySpeedSelected() {
    const QString text = m_comboPlaySpeed->currentText();
    if (text != m_strPlaySpeed || m_bReselectPending) {
        m_bReselectPending = 0;
        m_strPlaySpeed = text;
        EnableControls(false);
        m_playerSpeed = PlaybackSpeedCode(m_comboPlaySpeed->currentIndex());
        m_player.SetSpeed(m_playerSpeed);
        EnableControls(true);
        return;
    }
    m_bReselectPending = 1;
    QMetaObject::invokeMethod(
        this, [this] { onPlaySpeedSelected(); }, Qt::QueuedConnection);
}

void CwmTarselDlg::onDateChanged() {
    SetStatusIcon(kStatusPaused);
    m_bRangeChanged = 1;
    // The pickers are only shown in playback, so the mode rarely changes here. Re-applying the
    // same mode would also restart the key navigation and throw the user, who is changing the
    // time field by field with the arrow keys, out of the time edit after every step.
    if (m_nMode != ModePlayback) {
        m_nMode = ModePlayback;
        ApplyMode();
    }
}

void CwmTarselDlg::onTimeChanged() {
    onDateChanged();
    m_player.Pause();
}

void CwmTarselDlg::onDateDropDown() {
    SetStatusIcon(kStatusPaused);
    m_player.Pause();
}

// ---- camera -----------------------------------------------------------------------------------

void CwmTarselDlg::sendCameraCommand(int buttonId) {
    if (m_camera->busy()) return;  // one request at a time, as the disabled pad shows
    EnableControls(false);
    CameraTarget target;
    target.host = text8(m_comboHost->currentText(), kMaxLoginText);
    target.port = text8(m_editPort->text(), kMaxPortDigits);
    target.user = text8(m_comboUser->currentText(), kMaxLoginText);
    target.password = text8(m_editPassword->text(), kMaxLoginText);
    target.channel = channelNumber();
    m_camera->send(target, CameraSuffixFor(buttonId, m_comboPtzSpeed->currentIndex()));
    // finished() enables the controls again.
}

// ---- modes ------------------------------------------------------------------------------------

void CwmTarselDlg::onButton(int buttonId) {
    if (m_exiting) return;
    const int button = IsTwin(buttonId) ? ButtonOfTwin(buttonId) : buttonId;
    if (button >= id::kFirstCameraButton && button <= id::kLastCameraButton) {
        sendCameraCommand(button);
        return;
    }
    switch (button) {
        case id::kLiveButton: switchMode(ModeLive); break;
        case id::kPlaybackButton: switchMode(ModePlayback); break;
        case id::kCameraButton: switchMode(ModeCamera); break;
        case id::kLoginModeButton: switchMode(ModeLogin); break;
        case id::kFullScreenButton: enterFullScreen(); break;
        case id::kExitButton: exitProgram(); break;
        case id::kPlayButton: Play(); break;
        case id::kStopButton: Stop(); break;
        case id::kPauseButton: Pause(); break;
        default: break;
    }
}

void CwmTarselDlg::switchMode(int newMode) {
    EnableControls(false);
    const int previous = m_nMode;
    m_nMode = newMode;
    ApplyMode();
    switch (newMode) {
        case ModeLive:
        case ModeCamera:
            if (previous == ModePlayback) {
                m_player.Stop();
                StartLive();
            }
            break;
        case ModePlayback:
            m_liveSession.Stop();
            if (previous != ModePlayback) StartPlayback();  // a second press keeps the running playback
            break;
        case ModeLogin:
            if (previous == ModePlayback) m_player.Stop();
            else m_liveSession.Stop();
            break;
        default: break;
    }
    EnableControls(true);
}

void CwmTarselDlg::enterFullScreen() {
    if (m_nMode == ModeFullScreen || m_nMode == ModeLogin) return;
    EnableControls(false);
    m_nModeBeforeFullScreen = m_nMode;
    m_dwFullScreenTick = tickNow();
    m_nMode = ModeFullScreen;
    if (m_nModeBeforeFullScreen == ModePlayback) m_player.SetFullScreen(1);
    else m_liveSession.SetFullScreen(1);
    m_normalGeometry = geometry();
    ApplyMode();
    showFullScreen();
    // Without a window manager (a bare X server, a kiosk) nobody acts on the full-screen request:
    // then the window takes the screen itself.
    QTimer::singleShot(kFullScreenCheckMs, this, [this] {
        if (m_nMode != ModeFullScreen || screen() == nullptr) return;
        const QRect area = screen()->geometry();
        if (geometry() != area) setGeometry(area);
    });
}

void CwmTarselDlg::leaveFullScreen() {
    if (m_nMode != ModeFullScreen) return;
    if (m_nModeBeforeFullScreen == ModePlayback) m_player.SetFullScreen(0);
    else m_liveSession.SetFullScreen(0);
    m_nMode = m_nModeBeforeFullScreen;
    showNormal();
    if (m_normalGeometry.isValid()) setGeometry(m_normalGeometry);
    ApplyMode();
    EnableControls(true);
}

void CwmTarselDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (m_nMode == ModeFullScreen && event->button() == Qt::LeftButton &&
        platform::ticksBetween(m_dwFullScreenTick, tickNow()) > m_settings.fullScreenTapMs) {
        leaveFullScreen();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

std::uint32_t CwmTarselDlg::tickNow() const { return m_settings.tick ? m_settings.tick() : platform::tickCount(); }

void CwmTarselDlg::exitProgram() {
    if (m_exiting) return;
    m_exiting = true;
    EnableControls(false);
    m_bringUp->cancel();
    stopStreams();
    // The wait is the DVR's grace for the closed connections; a timer keeps the window painting.
    QTimer::singleShot(std::max(0, m_settings.exitWaitMs), this, [this] { close(); });
}

void CwmTarselDlg::closeEvent(QCloseEvent* event) {
    // Closed by the window manager as well as by Exit: nothing may keep streaming behind it.
    m_exiting = true;
    m_bringUp->cancel();
    stopStreams();
    event->accept();
    emit exited();
}

// ---- layout -----------------------------------------------------------------------------------

void CwmTarselDlg::ApplyMode() {
    m_nWorkWidth = width();
    m_nPictureHeight = PictureHeight(m_nWorkWidth);
    if (m_nMode != ModeLogin) m_bPictureReserved = 1;

    const int unit = LayoutUnit(m_nWorkWidth);
    if (unit != m_fontUnit) {
        m_fontUnit = unit;
        QFont f = font();
        f.setPixelSize(fontPixelsFor(unit));
        setFont(f);
    }

    const ModeLayout layout = LayOutMode(m_nMode, m_nWorkWidth, m_bPictureReserved != 0);
    for (int hiddenId : layout.hidden)
        if (QWidget* w = control(hiddenId)) w->hide();
    for (const ControlRect& r : layout.twinRects)
        if (QWidget* w = control(r.id)) w->setGeometry(r.x, r.y, r.width, r.height);
    for (const ControlRect& r : layout.shown)
        if (QWidget* w = control(r.id)) {
            w->setGeometry(r.x, r.y, r.width, r.height);
            w->show();
        }
    if (layout.focusHolderShown) {
        m_focusHolder->setGeometry(0, 0, 1, 1);
        m_focusHolder->show();
    }

    // The picture area: the whole window in full screen, the top otherwise, and nothing at all
    // before the first login (the login row sits where the picture will be).
    if (m_nMode == ModeFullScreen) {
        m_view->setGeometry(rect());
        m_view->show();
    } else if (m_bPictureReserved) {
        m_view->setGeometry(0, 0, m_nWorkWidth, m_nPictureHeight);
        m_view->show();
    } else {
        m_view->hide();
    }
    // The additions' menu button sits right of the channel list while the toolbar shows.
    const auto toolbarRow = std::find_if(layout.shown.begin(), layout.shown.end(),
                                         [](const ControlRect& r) { return r.id == id::kLiveButton; });
    if (toolbarRow != layout.shown.end())
        m_extras->placeButton(QRect(23 * unit, toolbarRow->y, unit, toolbarRow->height));
    else m_extras->hideButton();
    m_statusMessage->setPictureArea(m_view->isHidden() ? rect() : m_view->geometry());
    // A new stream starts on a clear picture; full screen keeps the one it shows.
    const bool streamChanged = m_lastAppliedMode != m_nMode && m_lastAppliedMode != ModeFullScreen &&
                               m_nMode != ModeFullScreen && m_lastAppliedMode != 0;
    if (streamChanged && (m_nMode == ModeLogin || m_nMode == ModePlayback || m_lastAppliedMode == ModePlayback))
        m_view->clearPicture();
    m_lastAppliedMode = m_nMode;

    if (m_media) m_media->modeApplied(m_nMode, playbackActive());
    if (m_views) m_views->modeApplied();
    m_navigator.setMode(m_nMode);
    update();
}

void CwmTarselDlg::EnableControls(bool enable) {
    for (int controlId : EnableControlOrder())
        if (QWidget* w = control(controlId)) w->setEnabled(enable);
}

void CwmTarselDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyMode();
}

QImage CwmTarselDlg::grabWindow() { return grab().toImage(); }

void CwmTarselDlg::showStatusMessage(const QString& text) { m_statusMessage->showMessage(text); }

// ---- key navigation ---------------------------------------------------------------------------

bool CwmTarselDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched == m_datePicker->calendarWidget()) {
        onDateDropDown();
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    // Only the first delivery of a key (to the focus widget, or the window when nothing has the
    // focus) is looked at; the same event propagating to the parents is not a second key press.
    QWidget* focus = QApplication::focusWidget();
    QWidget* target = focus != nullptr ? focus : this;
    if (watched != target || (target != this && !isAncestorOf(target))) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Enter on a focused grid tile opens that tile's channel; it is the tile's key, not the ring's.
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && qobject_cast<GridTile*>(target) != nullptr)
        return false;
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Return:
        case Qt::Key_Enter: return m_navigator.keyPressed(key);
        default: return false;
    }
}

void CwmTarselDlg::setHighlighted(int buttonId, bool on) {
    QWidget* button = control(buttonId);
    QWidget* twin = control(TwinOf(buttonId));
    if (button == nullptr || twin == nullptr) return;
    twin->setGeometry(button->geometry());
    button->setVisible(!on);
    twin->setVisible(on);
}

void CwmTarselDlg::focusControl(int controlId) {
    if (QWidget* w = control(controlId)) w->setFocus(Qt::OtherFocusReason);
}

void CwmTarselDlg::runCommand(int buttonId) {
    // A command chosen with the keys is a click: whatever else listens to the button (the grid
    // leaving on Live, say) hears it too.
    if (auto* button = qobject_cast<ImageButton*>(control(buttonId))) {
        emit button->clicked(buttonId);
        return;
    }
    onButton(buttonId);
}

void CwmTarselDlg::openDateCalendar() {
    // A press on the drop-down arrow at the right end opens the calendar, as a click would.
    m_datePicker->setFocus(Qt::OtherFocusReason);
    const QPointF arrow(m_datePicker->width() - std::max(4, m_datePicker->height() / 2),
                        m_datePicker->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, arrow, m_datePicker->mapToGlobal(arrow), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_datePicker, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, arrow, m_datePicker->mapToGlobal(arrow), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_datePicker, &release);
    onDateDropDown();
}

void CwmTarselDlg::selectTimeSection(int field) {
    static const QDateTimeEdit::Section kSections[] = {QDateTimeEdit::HourSection, QDateTimeEdit::MinuteSection,
                                                       QDateTimeEdit::SecondSection};
    m_timePicker->setFocus(Qt::OtherFocusReason);
    m_timePicker->setCurrentSection(kSections[std::clamp(field, 0, 2)]);
}

}  // namespace vistrel::app
