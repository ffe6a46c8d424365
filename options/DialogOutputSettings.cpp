#include "options/DialogOutputSettings.h"

#include "localisation/BuiltinTexts.h"
#include "localisation/DialogLanguage.h"
#include "localisation/Language.h"
#include "options/CompressorList.h"
#include "platform/Choosers.h"
#include "platform/DialogUnits.h"
#include "platform/MessageBoxes.h"
#include "settings/OutputContainers.h"
#include "settings/SettingsStore.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace outputoptions;

namespace {

template<typename... Args>
std::string Format(const char *format, Args... args)
{
    const int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

// Decimal integer the way atoi reads it: leading blanks, a sign, digits up to the first other
// character; no digits give 0. Out-of-range values stop at the int limits.
long long ParseDecimal(const std::string &text)
{
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return value;
}

// A typed width or height: down to a multiple of 8, at least 16.
int FrameDimension(const std::string &text)
{
    const int value = static_cast<int>(ParseDecimal(text)) / 8 * 8;
    return value < 16 ? 16 : value;
}

constexpr int kMaxFrameRateText = 127;
constexpr double kFrameRatesByChoice[] = {0.0, 23.976, 24.0, 25.0, 29.97, 30.0};

constexpr int kCompressorControls[]
    = {IDC_STATIC_VIDEO_COMPRESSOR,     IDC_STATIC_AUDIO_COMPRESSOR, IDC_COMBO_AUDIO_COMPRESSOR,
       IDC_BUTTON_VIDEO_CODEC_SETTINGS, IDC_COMBO_VIDEO_COMPRESSOR,  IDC_STATIC_OPTIONS_NOTE};
constexpr int kBitrateControls[] = {IDC_EDIT_VIDEO_BITRATE,
                                    IDC_COMBO_AUDIO_BITRATE,
                                    IDC_STATIC_VIDEO_COMPRESSOR_BITRATE,
                                    IDC_STATIC_AUDIO_COMPRESSOR_BITRATE,
                                    IDC_STATIC_VIDEO_KBPS,
                                    IDC_STATIC_AUDIO_KBPS};

QString ToQt(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

CDialogOutputSettings::CDialogOutputSettings(SettingsStore &store, QWidget *parent)
    : QDialog(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("CDialogOutputSettings"));
    setProperty("controlId", kDialogNumber);
    setWindowTitle(QStringLiteral("Output options"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setProperty("templateSize", kTemplateSize);
    m_baseUnits = platform::DialogBaseUnits(font());
    setFixedSize(DialogUnitsToPixels(QRect(QPoint(0, 0), kTemplateSize)).size());
    m_controls = CreateTemplateControls(this, m_baseUnits);

    connect(Combo(IDC_COMBO_OUTPUT_FORMAT), &QComboBox::activated, this,
            &CDialogOutputSettings::OnSelchangeOutputFormat);
    connect(Combo(IDC_COMBO_RESOLUTION), &QComboBox::activated, this,
            &CDialogOutputSettings::OnSelchangeResolution);
    connect(Combo(IDC_COMBO_FRAME_RATE), &QComboBox::activated, this,
            &CDialogOutputSettings::OnSelchangeFrameRate);
    connect(Combo(IDC_COMBO_VIDEO_COMPRESSOR), &QComboBox::currentIndexChanged, this,
            &CDialogOutputSettings::FollowVideoChoice);
    auto connectClick = [this](int id, void (CDialogOutputSettings::*slot)()) {
        connect(static_cast<QPushButton *>(Control(id)), &QPushButton::clicked, this, slot);
    };
    connectClick(IDC_BUTTON_BROWSE, &CDialogOutputSettings::OnBrowse);
    connectClick(IDC_BUTTON_OUTPUT_DEAULT, &CDialogOutputSettings::OnDefault);
    connectClick(IDC_BUTTON_VIDEO_CODEC_SETTINGS, &CDialogOutputSettings::OnCodecSettings);
    connectClick(IDC_BUTTON_OPTIONS_OK, &CDialogOutputSettings::OnOK);
    connectClick(IDC_BUTTON_OPTIONS_CANCEL, &CDialogOutputSettings::OnCancel);
}

CDialogOutputSettings::~CDialogOutputSettings() = default;

QWidget *CDialogOutputSettings::Control(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

QComboBox *CDialogOutputSettings::Combo(int id) const
{
    return static_cast<QComboBox *>(Control(id));
}

QRect CDialogOutputSettings::DialogUnitsToPixels(const QRect &units) const
{
    // The interface font may have changed the units since construction.
    return platform::DialogUnitsToPixels(units, platform::DialogBaseUnits(font()));
}

void CDialogOutputSettings::SetText(int id, const std::string &text)
{
    static_cast<QLineEdit *>(Control(id))->setText(ToQt(text));
}

std::string CDialogOutputSettings::Text(int id) const
{
    return static_cast<QLineEdit *>(Control(id))->text().toStdString();
}

void CDialogOutputSettings::ShowControls(std::initializer_list<int> ids, bool show)
{
    for (int id : ids)
        Control(id)->setVisible(show);
}

int CDialogOutputSettings::DoModal()
{
    OnInitDialog();
    return exec();
}

// The frame-size list's entry for a size: the video's own, a listed one, else the custom entry.
static int SizePosition(int width, int height, int sourceWidth, int sourceHeight)
{
    if (width == sourceWidth && height == sourceHeight)
        return kResolutionOriginal;
    for (std::size_t i = 0; i < kResolutionSizes.size(); ++i)
        if (kResolutionSizes[i].width == width && kResolutionSizes[i].height == height)
            return static_cast<int>(i) + 1;
    return kResolutionCustom;
}

// Windows Media first, then the other containers; a stored code the list does not offer opens at
// "WMV" as before.
static void FillFormats(QComboBox *list, int stored)
{
    list->clear();
    int position = 0;
    for (int code : OfferedFormats()) {
        if (code == stored)
            position = list->count();
        list->addItem(QString::fromUtf8(FormatName(code)));
    }
    list->setCurrentIndex(position);
}

void CDialogOutputSettings::OnInitDialog()
{
    const CLanguage &language = CLanguage::Instance();
    m_nInitialWidth = m_nOutputWidth;
    m_nInitialHeight = m_nOutputHeight;
    m_dInitialFrameRate = m_dOutputFrameRate;
    m_szInitialOutputFile = m_szOutputFile;

    // Frame size: the video's own size first, then the fixed sizes, else the custom entry.
    QComboBox *resolution = Combo(IDC_COMBO_RESOLUTION);
    const std::string originalSize = language.GetString(111);
    resolution->setItemText(
        kResolutionOriginal,
        ToQt(m_nSourceWidth == 0 && m_nSourceHeight == 0
                 ? originalSize
                 : Format("%s %d*%d", originalSize.c_str(), m_nSourceWidth, m_nSourceHeight)));
    resolution->setItemText(kResolutionCustom, ToQt(language.GetString(112)));
    Control(IDC_COMBO_CODEC_LIST)->hide();
    SetText(IDC_EDIT_OUTPUT_FILE, m_szOutputFile);
    SetText(IDC_EDIT_WIDTH, Format("%d", m_nOutputWidth));
    SetText(IDC_EDIT_HEIGHT, Format("%d", m_nOutputHeight));
    ShowControls({IDC_EDIT_WIDTH, IDC_EDIT_HEIGHT}, false);
    const int position
        = SizePosition(m_nOutputWidth, m_nOutputHeight, m_nSourceWidth, m_nSourceHeight);
    resolution->setCurrentIndex(position);
    if (position == kResolutionCustom)
        ShowControls({IDC_EDIT_WIDTH, IDC_EDIT_HEIGHT}, true);

    InitFrameRate();

    FillCompressorLists();

    QComboBox *resize = Combo(IDC_COMBO_RESIZE_MODE);
    resize->setItemText(0, ToQt(language.GetString(117)));
    resize->setItemText(1, ToQt(language.GetString(118)));
    resize->setCurrentIndex(m_nStretchMode == ResizePreserveAspectRatio ? 0 : 1);

    for (int id : kCompressorControls)
        Control(id)->hide();
    SetText(IDC_EDIT_VIDEO_BITRATE, Format("%d", static_cast<int>(m_nVideoBitrate / 1024)));
    int audioPosition = -1;
    for (std::size_t i = 0; i < kAudioBitrates.size(); ++i)
        if (kAudioBitrates[i] == m_nAudioBitrate)
            audioPosition = static_cast<int>(i);
    Combo(IDC_COMBO_AUDIO_BITRATE)->setCurrentIndex(audioPosition);

    FillFormats(Combo(IDC_COMBO_OUTPUT_FORMAT), m_nOutputFormat);
    ApplyFormat(m_nOutputFormat);
    FollowVideoChoice();

    for (int id : {IDC_STATIC_VIDEO_KBPS, IDC_STATIC_AUDIO_KBPS})
        static_cast<QLabel *>(Control(id))->setText(ToQt(language.GetString(IDS_KBPS)));
    ApplyToDialog(this, kDialogNumber);
    NameTemplateControls(m_controls);
}

// The frame-rate list with the video's own rate, and the typed rate where it is chosen.
void CDialogOutputSettings::InitFrameRate()
{
    const CLanguage &language = CLanguage::Instance();
    QComboBox *frameRate = Combo(IDC_COMBO_FRAME_RATE);
    const std::string originalRate = language.GetString(113);
    frameRate->setItemText(FrameRateSource,
                           ToQt(m_nPhotoCount != 0
                                    ? Format("%s %.3f", originalRate.c_str(), m_dSourceFrameRate)
                                    : originalRate));
    frameRate->setItemText(FrameRateCustom, ToQt(language.GetString(114)));
    SetText(IDC_EDIT_FRAME_RATE, m_nFrameRateIndex != FrameRateSource
                                     ? Format("%.3f", m_dOutputFrameRate)
                                     : Format("%f", 23.976));
    frameRate->setCurrentIndex(m_nFrameRateIndex);
    ShowControls({IDC_EDIT_FRAME_RATE}, m_nFrameRateIndex == FrameRateCustom);
}

void CDialogOutputSettings::ApplyFormat(int format)
{
    std::string path;
    if (!ApplyFormatExtension(format, Text(IDC_EDIT_OUTPUT_FILE), &path)) {
        platform::ShowMessageBox("unknown error", "error");
        return;
    }
    SetText(IDC_EDIT_OUTPUT_FILE, path);
    const bool windowsMedia = IsWindowsMediaFormat(format);
    for (int id : kCompressorControls)
        Control(id)->setVisible(!windowsMedia);
    for (int id : kBitrateControls)
        Control(id)->setVisible(windowsMedia);
}

void CDialogOutputSettings::OnSelchangeOutputFormat(int position)
{
    const bool listsWereShown = !IsWindowsMediaFormat(m_nOutputFormat);
    m_nOutputFormat = FormatAtPosition(position);
    ApplyFormat(m_nOutputFormat);
    if (!m_videoList)
        return;
    // A choice the user saw goes along where the new container takes it; hidden lists open
    // where they would for the new format.
    for (CompressorList *list : {m_videoList.get(), m_audioList.get()}) {
        list->ChangeFormat(m_nOutputFormat);
        if (!listsWereShown)
            list->SelectInitial(m_store);
    }
    FollowVideoChoice();
}

// A copied picture keeps the source's size and rate: their controls show the source's, greyed,
// and the choice made before comes back with an encoder.
void CDialogOutputSettings::FollowVideoChoice()
{
    const bool copying = m_videoList && !IsWindowsMediaFormat(m_nOutputFormat)
                         && m_videoList->SelectedFactory() == kCopyFactory;
    if (copying == m_bCopyShown)
        return;
    m_bCopyShown = copying;
    QComboBox *resolution = Combo(IDC_COMBO_RESOLUTION);
    QComboBox *rate = Combo(IDC_COMBO_FRAME_RATE);
    if (copying) {
        m_nKeptResolution = resolution->currentIndex();
        m_nKeptFrameRate = rate->currentIndex();
        m_szKeptWidth = Text(IDC_EDIT_WIDTH);
        m_szKeptHeight = Text(IDC_EDIT_HEIGHT);
        m_szKeptFrameRate = Text(IDC_EDIT_FRAME_RATE);
        resolution->setCurrentIndex(kResolutionOriginal);
        OnSelchangeResolution(kResolutionOriginal);
        rate->setCurrentIndex(FrameRateSource);
        OnSelchangeFrameRate(FrameRateSource);
    } else {
        resolution->setCurrentIndex(m_nKeptResolution);
        rate->setCurrentIndex(m_nKeptFrameRate);
        SetText(IDC_EDIT_WIDTH, m_szKeptWidth);
        SetText(IDC_EDIT_HEIGHT, m_szKeptHeight);
        SetText(IDC_EDIT_FRAME_RATE, m_szKeptFrameRate);
        ShowControls({IDC_EDIT_WIDTH, IDC_EDIT_HEIGHT}, m_nKeptResolution == kResolutionCustom);
        ShowControls({IDC_EDIT_FRAME_RATE}, m_nKeptFrameRate == FrameRateCustom);
    }
    for (int id : {IDC_COMBO_RESOLUTION, IDC_EDIT_WIDTH, IDC_EDIT_HEIGHT, IDC_COMBO_FRAME_RATE,
                   IDC_EDIT_FRAME_RATE, IDC_COMBO_RESIZE_MODE, IDC_BUTTON_VIDEO_CODEC_SETTINGS})
        Control(id)->setEnabled(!copying);
}

int CDialogOutputSettings::FormatAtPosition(int position)
{
    const std::vector<int> &offered = OfferedFormats();
    return position >= 0 && position < static_cast<int>(offered.size())
               ? offered[static_cast<std::size_t>(position)]
               : OutputFormatWmv;
}

void CDialogOutputSettings::OnSelchangeResolution(int position)
{
    int width = 0;
    int height = 0;
    if (position == kResolutionOriginal) {
        width = m_nSourceWidth;
        height = m_nSourceHeight;
    } else if (position >= 1 && position <= static_cast<int>(kResolutionSizes.size())) {
        width = kResolutionSizes[position - 1].width;
        height = kResolutionSizes[position - 1].height;
    } else if (position == kResolutionCustom) {
        width = m_nInitialWidth;
        height = m_nInitialHeight;
    } else {
        return;
    }
    SetText(IDC_EDIT_WIDTH, Format("%d", width));
    SetText(IDC_EDIT_HEIGHT, Format("%d", height));
    ShowControls({IDC_EDIT_WIDTH, IDC_EDIT_HEIGHT}, position == kResolutionCustom);
}

void CDialogOutputSettings::OnSelchangeFrameRate(int position)
{
    if (position >= FrameRateSource && position < FrameRateCustom) {
        const double rate
            = position == FrameRateSource ? m_dSourceFrameRate : kFrameRatesByChoice[position];
        SetText(IDC_EDIT_FRAME_RATE, Format("%f", rate));
        ShowControls({IDC_EDIT_FRAME_RATE}, false);
    } else if (position == FrameRateCustom) {
        SetText(IDC_EDIT_FRAME_RATE, Format("%.3f", m_dInitialFrameRate));
        ShowControls({IDC_EDIT_FRAME_RATE}, true);
    }
}

void CDialogOutputSettings::OnBrowse()
{
    // The folder of the path the dialog opened with; a file in the root starts at the root.
    std::string folder = ".";
    const std::size_t slash = m_szInitialOutputFile.find_last_of('/');
    if (slash != std::string::npos)
        folder = slash == 0 ? std::string("/") : m_szInitialOutputFile.substr(0, slash);

    platform::SaveFileRequest request;
    request.title = CLanguage::Instance().GetString(110);
    const OutputContainer *container = FindContainer(m_nOutputFormat);
    if (container)
        request.filters.push_back({container->filterDescription, container->filterPattern});
    else
        platform::ShowMessageBox("Does not support the video format", "Error");
    request.selectedFilter = 0;
    request.initialPath = folder;

    const std::optional<std::string> chosen = platform::ChooseSaveFile(request);
    if (!chosen || chosen->empty())
        return;
    std::string path;
    ApplyFormatExtension(m_nOutputFormat, *chosen, &path);
    SetText(IDC_EDIT_OUTPUT_FILE, path);
}

void CDialogOutputSettings::OnDefault()
{
    if (IsWindowsMediaFormat(m_nOutputFormat)) {
        SetText(IDC_EDIT_VIDEO_BITRATE, Format("%d", 780));
        Combo(IDC_COMBO_AUDIO_BITRATE)->setCurrentIndex(1);
        return;
    }
    SelectDefaultCompressors();
}

// The rate of the frame-rate list's choice: the source's, a listed one or the typed one; an
// unknown choice is 23.976.
static void ChosenFrameRate(double sourceRate, double typedRate, int *choice, double *rate)
{
    if (*choice >= FrameRateSource && *choice < FrameRateCustom) {
        *rate = *choice == FrameRateSource ? sourceRate : kFrameRatesByChoice[*choice];
    } else if (*choice == FrameRateCustom) {
        *rate = typedRate;
    } else {
        *choice = FrameRate23976;
        *rate = 23.976;
    }
}

void CDialogOutputSettings::OnOK()
{
    // Nothing is stored unless the frame rate is usable.
    const std::string rateText = Text(IDC_EDIT_FRAME_RATE).substr(0, kMaxFrameRateText);
    double typedRate = 0;
    if (!ParseFrameRate(rateText, &typedRate) || !std::isfinite(typedRate)) {
        platform::ShowAppMessageBox(CLanguage::Instance().GetString(IDS_FRAME_RATE_NOT_NUMBER));
        return;
    }
    if (typedRate < 0.001) {
        platform::ShowAppMessageBox(CLanguage::Instance().GetString(IDS_FRAME_RATE_TOO_SMALL));
        return;
    }
    m_nFrameRateIndex = Combo(IDC_COMBO_FRAME_RATE)->currentIndex();
    ChosenFrameRate(m_dSourceFrameRate, typedRate, &m_nFrameRateIndex, &m_dOutputFrameRate);

    const int format = FormatAtPosition(Combo(IDC_COMBO_OUTPUT_FORMAT)->currentIndex());
    m_nOutputFormat = format;
    // A typed path keeps its name; only an extension of another container follows the format,
    // so no file is written whose contents differ from what its name says.
    m_szOutputFile = Text(IDC_EDIT_OUTPUT_FILE).substr(0, kMaxOutputPathLength);
    if (FormatOfExtension(m_szOutputFile) >= 0 && FormatOfExtension(m_szOutputFile) != format)
        ApplyFormatExtension(format, m_szOutputFile, &m_szOutputFile);

    // The listed sizes, the video's own among them, are kept exactly; the multiple of 8 is the
    // rule for a typed size only.
    if (Combo(IDC_COMBO_RESOLUTION)->currentIndex() == kResolutionCustom) {
        m_nOutputWidth = FrameDimension(Text(IDC_EDIT_WIDTH));
        m_nOutputHeight = FrameDimension(Text(IDC_EDIT_HEIGHT));
    } else {
        m_nOutputWidth = static_cast<int>(ParseDecimal(Text(IDC_EDIT_WIDTH)));
        m_nOutputHeight = static_cast<int>(ParseDecimal(Text(IDC_EDIT_HEIGHT)));
    }

    ConfirmCompressors();

    m_nStretchMode = Combo(IDC_COMBO_RESIZE_MODE)->currentIndex() == 0 ? ResizePreserveAspectRatio
                                                                       : ResizeStretch;

    // A negative or oversized figure would wrap around in bits per second.
    long long kbps = ParseDecimal(Text(IDC_EDIT_VIDEO_BITRATE));
    kbps = kbps < 0 ? 0 : (kbps > UINT_MAX / 1024 ? UINT_MAX / 1024 : kbps);
    m_nVideoBitrate = static_cast<unsigned int>(kbps) * 1024u;

    const int audioPosition = Combo(IDC_COMBO_AUDIO_BITRATE)->currentIndex();
    if (audioPosition >= 0 && audioPosition < static_cast<int>(kAudioBitrates.size()))
        m_nAudioBitrate = kAudioBitrates[audioPosition];

    SaveOutputSettings(m_store, *this, rateText);

    accept();
}

void CDialogOutputSettings::OnCancel()
{
    reject();
}

void CDialogOutputSettings::FillCompressorLists()
{
    m_videoList = std::make_unique<CompressorList>(Combo(IDC_COMBO_VIDEO_COMPRESSOR),
                                                   CompressorCategory::Video, m_nOutputFormat);
    m_audioList = std::make_unique<CompressorList>(Combo(IDC_COMBO_AUDIO_COMPRESSOR),
                                                   CompressorCategory::Audio, m_nOutputFormat);
    const bool known = m_nPhotoCount > 0;
    m_videoList->SetSource(known, m_sourceVideoCaps);
    m_audioList->SetSource(known, m_sourceAudioCaps);
    m_videoList->Fill();
    m_videoList->SelectInitial(m_store);
    m_audioList->Fill();
    m_audioList->SelectInitial(m_store);
}

void CDialogOutputSettings::ConfirmCompressors()
{
    // Windows Media's writer brings its own encoders: its hidden lists were never a choice, and
    // storing them would override the usual encoders of the other containers later.
    if (!m_videoList || IsWindowsMediaFormat(m_nOutputFormat))
        return;
    m_videoList->Confirm(m_store, this);
    m_audioList->Confirm(m_store, this);
}

void CDialogOutputSettings::SelectDefaultCompressors()
{
    if (!m_videoList)
        return;
    m_videoList->SelectDefault();
    m_audioList->SelectDefault();
}

void CDialogOutputSettings::OnCodecSettings()
{
    ConfigureCodec(this, Combo(IDC_COMBO_VIDEO_COMPRESSOR), Combo(IDC_COMBO_CODEC_LIST), this);
}
