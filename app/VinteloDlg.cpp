#include "app/VinteloDlg.h"

#include "app/ConversionWindow.h"
#include "app/MainCommands.h"
#include "app/MainWindowTemplate.h"
#include "app/VinteloApp.h"
#include "controls/BitmapSlider.h"
#include "controls/ValueLabel.h"
#include "convert/ConversionDriver.h"
#include "job/MediaProbe.h"
#include "localisation/BuiltinTexts.h"
#include "localisation/DialogLanguage.h"
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "localisation/PopupMenu.h"
#include "media/core/MediaPlatform.h"
#include "options/OutputOptionsCommand.h"
#include "platform/Choosers.h"
#include "platform/DialogUnits.h"
#include "platform/MessageBoxes.h"
#include "platform/TimeText.h"
#include "platform/WindowMessages.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"
#include "resources/Artwork.h"
#include "settings/CompressorChoices.h"
#include "settings/SettingsStore.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// Controls that only work with a video open.
constexpr int kNeedVideo[] = {CVinteloDlg::IDC_BUTTON_CONVERT,  CVinteloDlg::IDC_SLIDER_POSITION,
                              CVinteloDlg::IDC_BUTTON_PLAY,     CVinteloDlg::IDC_BUTTON_PAUSE,
                              CVinteloDlg::IDC_BUTTON_STOP,     CVinteloDlg::IDC_BUTTON_START_TIME,
                              CVinteloDlg::IDC_BUTTON_END_TIME, CVinteloDlg::IDC_STATIC_START_TIME,
                              CVinteloDlg::IDC_STATIC_END_TIME};

QString FromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

// "Output file: PATH     Resolution: SIZE"
QString OutputStatus(const std::string &outputFile, const QString &resolution)
{
    const CLanguage &language = CLanguage::Instance();
    return FromStd(language.GetString(115)) + ' ' + FromStd(outputFile) + "     "
           + FromStd(language.GetString(116)) + ' ' + resolution;
}

QString Hms(long long seconds)
{
    return QString::fromStdString(platform::HmsText(seconds));
}

} // namespace

CVinteloDlg::CVinteloDlg(SettingsStore &store, QWidget *parent)
    : QDialog(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("CVinteloDlg"));
    setProperty("controlId", kDialogNumber);
    setWindowTitle(QStringLiteral("Clipwright"));
    setWindowIcon(artwork::Icon(artwork::IconApplication));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    m_chosenFont = font();
    setAcceptDrops(true);
    CreateControls();
    m_trim = std::make_unique<CTrimControls>(this, m_job, m_nSliderPos,
                                             [this](int id) { return Control(id); });
    m_bInitialized = OnInitDialog();
}

CVinteloDlg::~CVinteloDlg()
{
    // A window going away mid-conversion still leaves a finished file behind.
    if (m_job.m_bConverting == 1 && m_conversion)
        ::FinishConversion(m_job, m_conversion->Run());
}

ConversionWindow &CVinteloDlg::Converter()
{
    if (!m_conversion)
        m_conversion = new ConversionWindow(this);
    return *m_conversion;
}

QRect CVinteloDlg::DialogUnitsToPixels(const QRect &units) const
{
    // The interface font may have changed the units since construction.
    return platform::DialogUnitsToPixels(units, platform::DialogBaseUnits(font()));
}

void CVinteloDlg::CreateControls()
{
    setProperty("templateSize", mainwindow::kTemplateSize);
    m_baseUnits = platform::DialogBaseUnits(font());
    setFixedSize(DialogUnitsToPixels(QRect(QPoint(0, 0), mainwindow::kTemplateSize)).size());
    m_controls = mainwindow::CreateTemplateControls(this, m_baseUnits);
    m_slider = static_cast<CBitmapSlider *>(Control(IDC_SLIDER_POSITION));
    m_slider->SetTrackingFlag(&CVinteloApp::Instance().m_bSliderTracking);

    auto connectClick = [this](int id, void (CVinteloDlg::*slot)()) {
        auto *button = qobject_cast<QAbstractButton *>(Control(id));
        connect(button, &QAbstractButton::clicked, this, slot);
    };
    connectClick(IDC_BUTTON_CONVERT, &CVinteloDlg::OnConvert);
    connectClick(IDC_BUTTON_OUTPUT_SETTINGS, &CVinteloDlg::OnOutputOptions);
    connectClick(IDC_BUTTON_ADD_VIDEO, &CVinteloDlg::OnOpenVideo);
    connectClick(IDC_BUTTON_ABOUT, &CVinteloDlg::OnAbout);
    connectClick(IDC_BUTTON_HOMEPAGE, &CVinteloDlg::OnHomepage);
    connectClick(IDC_BUTTON_HELP, &CVinteloDlg::OnHelp);
    connectClick(IDC_BUTTON_CLOSE, &CVinteloDlg::OnClosePreview);
    connectClick(IDC_BUTTON_PLAY, &CVinteloDlg::OnPlay);
    connectClick(IDC_BUTTON_PAUSE, &CVinteloDlg::OnPause);
    connectClick(IDC_BUTTON_STOP, &CVinteloDlg::OnStop);
    connectClick(IDC_BUTTON_START_TIME, &CVinteloDlg::OnStartTime);
    connectClick(IDC_BUTTON_END_TIME, &CVinteloDlg::OnEndTime);
    connectClick(IDC_BUTTON_EXIT, &CVinteloDlg::OnExit);
    connect(m_slider, &CBitmapSlider::releasedCapture, this, &CVinteloDlg::OnSliderReleased);
    connect(m_slider, &QSlider::sliderMoved, this,
            [this](int value) { m_trim->OnSliderMoved(value); });

    // F1, the framework's help command, starts the help as the Help button does, also while
    // the preview window is the active one.
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, &CVinteloDlg::OnHelp);
    CreateKeys();
}

QWidget *CVinteloDlg::Control(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

QString CVinteloDlg::StatusText() const
{
    return static_cast<QLabel *>(Control(IDC_STATIC_STATUS))->text();
}

void CVinteloDlg::ShowStatus(const QString &text, const QString &shortenable)
{
    auto *status = static_cast<CStatusLine *>(Control(IDC_STATIC_STATUS));
    status->SetElidable(shortenable.isEmpty() ? FromStd(m_job.m_szOutputFile) : shortenable);
    status->SetValueText(text);
}

void CVinteloDlg::SetControlText(int id, const QString &text)
{
    if (id == IDC_STATIC_STATUS) {
        ShowStatus(text);
        return;
    }
    QWidget *widget = Control(id);
    if (auto *value = qobject_cast<CValueLabel *>(widget))
        value->SetValueText(text);
    else if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(text);
}

void CVinteloDlg::EnableControls(std::span<const int> ids, bool enable)
{
    for (int id : ids)
        Control(id)->setEnabled(enable);
}

bool CVinteloDlg::OnInitDialog()
{
    m_background = artwork::Bitmap(artwork::BitmapBackground);
    const CLanguage &language = CLanguage::Instance();

    m_job.m_nOutputFormat = m_store.ReadInt("Settings", "nOuptputFormat", OutputFormatWmv);

    std::string error;
    if (!media::InitializeMediaPlatform(&error)) {
        platform::ShowUnownedMessageBox("Could not initialize COM library.", "Error");
        return false;
    }
    media::PrepareDecoders();

    m_job.m_bUseVideoCompressor = kCompressorFromStore;
    m_job.m_bUseAudioCompressor = kCompressorFromStore;
    m_job.LoadItemDefaults(m_store);
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    // Output path, size, rate and bitrates, in the store's start-up order.
    LoadOutputSettings(m_store, &m_job);

    SetControlText(IDC_STATIC_STATUS,
                   OutputStatus(m_job.m_szOutputFile, FromStd(language.GetString(111))));

    mainwindow::DecorateButtons(m_controls);

    m_slider->setRange(0, kSliderRange);
    m_slider->setValue(0);
    SetControlText(IDC_STATIC_START_TIME, QStringLiteral("00:00:00"));
    SetControlText(IDC_STATIC_END_TIME, QStringLiteral("00:00:00"));

    EnableControls(kNeedVideo, false);
    Control(IDC_BUTTON_CLOSE)->hide();

    ApplyToDialog(this, kDialogNumber);
    ShowKeysInTooltips();
    NameControls();
    return true;
}

void CVinteloDlg::RunUntilEnded()
{
    // Not modal: a modal window would keep every click, key, drop and close from the preview
    // window, which has no owner.
    QEventLoop running;
    connect(this, &QDialog::finished, &running, &QEventLoop::quit);
    show();
    running.exec();
}

void CVinteloDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The first control's focus shows from the start, so Enter never acts on a hidden focus.
    setAttribute(Qt::WA_KeyboardFocusChange);
    m_placePending = true;
    PlaceWindows();
}

void CVinteloDlg::paintEvent(QPaintEvent *event)
{
    // The tile is copied unchanged at every multiple of its size from the top left.
    QPainter painter(this);
    if (!m_background.isNull())
        painter.drawTiledPixmap(rect(), m_background);
    QDialog::paintEvent(event);
}

void CVinteloDlg::mouseReleaseEvent(QMouseEvent *event)
{
    QDialog::mouseReleaseEvent(event);
    if (event->button() != Qt::RightButton)
        return;
    // Static texts let the click through to the window; other controls keep it.
    const QPoint point = event->position().toPoint();
    QWidget *target = childAt(point);
    if (target && !qobject_cast<QLabel *>(target) && !qobject_cast<QGroupBox *>(target))
        return;
    OnCommand(ShowPopupMenu(this, point));
}

void CVinteloDlg::OnCommand(int command)
{
    if (command == 0)
        return;
    if (OnLanguageCommand(this, command)) {
        ShowKeysInTooltips();
        NameControls();
        return;
    }
    if (command == menus::IDM_POPUPMENU_FONT)
        OnFont();
    else if (command == menus::IDM_ABOUT)
        OnAbout();
}

void CVinteloDlg::OnFont()
{
    ::OnFont(this, kDialogNumber);
}

bool CVinteloDlg::event(QEvent *event)
{
    if (event->type() == messages::PositionTick) {
        OnPositionTick();
        return true;
    }
    if (event->type() == messages::WM_GRAPHNOTIFY) {
        OnGraphNotify();
        return true;
    }
    if (event->type() == messages::WM_COMMAND
        && static_cast<messages::CommandEvent *>(event)->Id() == IDC_BUTTON_CLOSE) {
        OnClosePreview();
        return true;
    }
    return QDialog::event(event);
}

void CVinteloDlg::closeEvent(QCloseEvent *event)
{
    if (m_job.m_bConverting == 1) {
        const CLanguage &language = CLanguage::Instance();
        platform::ShowMessageBox(language.GetString(130), language.GetString(108));
        event->ignore();
        return;
    }
    // The encoders go with the window, not at the end of the process.
    m_job.m_videoCompressor = media::Filter();
    m_job.m_audioCompressor = media::Filter();
    // The language is kept for next time.
    m_store.WriteString("Option", "CurrentLanguage", CLanguage::Instance().GetCurrentLanguage());
    event->accept();
    QDialog::done(QDialog::Rejected);
}

// Enter and Escape pass the same guards and clean-up as the title-bar close.
void CVinteloDlg::accept()
{
    close();
}
void CVinteloDlg::reject()
{
    close();
}

void CVinteloDlg::OnExit()
{
    close();
}

void CVinteloDlg::OnAbout()
{
    maincommands::RunAbout(this);
}
void CVinteloDlg::OnHelp()
{
    maincommands::StartHelp();
}
void CVinteloDlg::OnHomepage()
{
    maincommands::OpenHomepage();
}

void CVinteloDlg::OnOpenVideo()
{
    const CLanguage &language = CLanguage::Instance();

    platform::OpenFileRequest request;
    request.title = language.GetString(119);
    // The long-standing list first, then what cameras, phones and the web give today.
    const std::string videoPatterns = "*.mpeg;*.mpg;*.avi;*.asf;*.wmv;*.dat;*.vob;*.ogm;*.divx;"
                                      "*.div;*.mkv;*.mp4;*.m4v;*.mov;*.webm;*.ts;*.mts;*.m2ts;"
                                      "*.flv;*.3gp;*.ogv";
    const std::string shownPatterns = "(*.mpeg;*.mpg;*.avi;*.wmv;*.dat;*.asf;*.vob;*.ogm;*.divx;"
                                      "*.div;*.mkv;*.mp4;*.m4v;*.mov;*.webm;*.ts;*.mts;*.m2ts;"
                                      "*.flv;*.3gp;*.ogv)";
    request.filters = {
        {language.GetString(IDS_FILTER_ANY_FILES) + " (*.*)", "*.*"},
        {language.GetString(IDS_FILTER_VIDEO_FILES) + " " + shownPatterns, videoPatterns},
    };
    request.selectedFilter = 0;
    request.initialFolder = m_store.ReadString("Option", "LastPhotoFolder", std::string());
    const std::optional<std::string> chosen = platform::ChooseOpenFile(request);
    if (!chosen || chosen->empty())
        return;
    OpenVideoFile(*chosen);
}

void CVinteloDlg::OpenVideoFile(const std::string &path)
{
    const CLanguage &language = CLanguage::Instance();

    // From here on the previous job is gone, whatever the probe finds.
    m_job.m_nPhotoCount = 0;
    m_job.m_nMusicCount = 0;
    m_job.m_szPhotoFile[0] = path;

    MediaProbeResult probe;
    const bool probed = RunMediaProbe(m_job.m_szPhotoFile[0], &probe);
    m_job.TakeSourceFacts(probe);
    if (!probed) {
        platform::ShowMessageBox(language.GetString(123) + language.GetString(122),
                                 language.GetString(105) + " IDS_MESSAGE_NO_DURATION");
        return;
    }

    const long long seconds = probe.stopPosition / UNITS;
    m_job.m_nDefaultPhotoDuration = static_cast<int>(seconds);
    // The whole video to its last frame: the texts show whole seconds, the marks do not.
    m_job.SetOpenedVideo(m_job.m_szPhotoFile[0], probe.stopPosition,
                         DurationProbe(m_job.m_szPhotoFile[0]));

    const std::size_t slash = m_job.m_szPhotoFile[0].find_last_of('/');
    m_store.WriteString("Option", "LastPhotoFolder",
                        slash == std::string::npos ? std::string()
                                                   : m_job.m_szPhotoFile[0].substr(0, slash + 1));

    SetControlText(IDC_STATIC_POSITION, Hms(0) + " / " + Hms(seconds));
    SetControlText(IDC_STATIC_END_TIME, Hms(seconds));
    SetControlText(IDC_STATIC_START_TIME, QStringLiteral("00:00:00"));

    ClosePreview();
    OpenPreview(m_job.m_szPhotoFile[0]);

    EnableControls(kNeedVideo, true);

    SetControlText(IDC_STATIC_STATUS, OutputStatus(m_job.m_szOutputFile,
                                                   QString::number(m_job.m_nOutputWidth) + '*'
                                                       + QString::number(m_job.m_nOutputHeight)));

    if (m_job.m_nFrameRateIndex == FrameRateSource)
        m_job.m_dOutputFrameRate = m_job.m_dSourceFrameRate;
}

void CVinteloDlg::ClosePreview()
{
    m_trim->ClosePlayer();
}

void CVinteloDlg::OpenPreview(const std::string &path)
{
    if (!m_trim->OpenPlayer(path))
        return;
    CVcdCore *player = CTrimControls::Player();
    player->m_dropHandler = [this](const QStringList &files) { return OpenHandedFiles(files); };
    player->m_sourceLostHandler = [this](const std::string &gone) {
        const QString file = FromStd(gone);
        ShowStatus(FromStd(CLanguage::Instance().GetString(IDS_SOURCE_GONE)).arg(file), file);
    };
}

void CVinteloDlg::OnPositionTick()
{
    // While converting, the slider shows the conversion's progress instead.
    m_trim->OnPositionTick(m_job.m_bConverting == 1 ? 1
                                                    : CVinteloApp::Instance().m_bSliderTracking);
}

void CVinteloDlg::OnGraphNotify()
{
    ::OnGraphNotify(m_job, Converter().Run());
}

void CVinteloDlg::OnConvert()
{
    ::OnConvert(m_job, Converter().Run());
}

void CVinteloDlg::OnOutputOptions()
{
    OpenedVideoFacts facts{m_job.m_nSourceWidth, m_job.m_nSourceHeight, m_job.m_dSourceFrameRate,
                           m_job.m_nPhotoCount};
    if (m_job.m_nPhotoCount > 0) {
        facts.videoCaps = m_job.SourceStreams().videoCaps;
        facts.audioCaps = m_job.SourceStreams().audioCaps;
    }
    RunOutputOptions(this, m_store, &m_job, facts, [this] {
        const bool measured = m_job.m_nSourceWidth != 0 || m_job.m_nSourceHeight != 0;
        SetControlText(IDC_STATIC_STATUS,
                       OutputStatus(m_job.m_szOutputFile,
                                    measured ? QString::number(m_job.m_nOutputWidth) + '*'
                                                   + QString::number(m_job.m_nOutputHeight)
                                             : FromStd(CLanguage::Instance().GetString(111))));
    });
}

void CVinteloDlg::OnSliderReleased()
{
    m_trim->OnSliderReleased();
}

void CVinteloDlg::OnClosePreview()
{
    m_trim->OnCloseCommand();
    EnableControls(kNeedVideo, false);
}

void CVinteloDlg::OnPlay()
{
    m_trim->OnPlay();
}

void CVinteloDlg::OnPause()
{
    m_trim->OnPause();
}

void CVinteloDlg::OnStop()
{
    m_trim->OnStop();
}

void CVinteloDlg::OnStartTime()
{
    m_trim->OnStartTime();
}

void CVinteloDlg::OnEndTime()
{
    m_trim->OnEndTime();
}
