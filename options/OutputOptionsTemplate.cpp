#include "options/OutputOptionsTemplate.h"

#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "platform/DialogUnits.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <utility>

namespace outputoptions {

namespace {

enum class Kind { Label, Note, Edit, Button, DefaultButton, DropList };

struct TemplateControl
{
    int id;
    Kind kind;
    const char *text;
    QRect rect; // dialog units
};

// Two alternative rows share rows 6 and 7: the compressor controls for containers with a
// compressor of their own, the bitrates for Windows Media. Only one set is shown at a time.
const TemplateControl kTemplate[] = {
    {IDC_STATIC_OUTPUT_FORMAT, Kind::Label, "Output Format:", {7, 11, 88, 8}},
    {IDC_COMBO_OUTPUT_FORMAT, Kind::DropList, "", {98, 8, 70, 14}},
    {IDC_STATIC_OUTPUT_FILE, Kind::Label, "Output file:", {7, 29, 88, 8}},
    {IDC_EDIT_OUTPUT_FILE, Kind::Edit, "", {98, 26, 162, 14}},
    {IDC_BUTTON_BROWSE, Kind::Button, "Browse", {264, 26, 50, 14}},
    {IDC_STATIC_RESOLUTION, Kind::Label, "Resolution:", {7, 47, 88, 8}},
    {IDC_COMBO_RESOLUTION, Kind::DropList, "", {98, 44, 120, 14}},
    {IDC_EDIT_WIDTH, Kind::Edit, "", {222, 44, 44, 14}},
    {IDC_EDIT_HEIGHT, Kind::Edit, "", {270, 44, 44, 14}},
    {IDC_STATIC_FRAME_RATE, Kind::Label, "Frame rate:", {7, 65, 88, 8}},
    {IDC_COMBO_FRAME_RATE, Kind::DropList, "", {98, 62, 120, 14}},
    {IDC_EDIT_FRAME_RATE, Kind::Edit, "", {222, 62, 44, 14}},
    {IDC_STATIC_RESIZE_MODE, Kind::Label, "Resize mode:", {7, 83, 88, 8}},
    {IDC_COMBO_RESIZE_MODE, Kind::DropList, "", {98, 80, 120, 14}},
    {IDC_STATIC_VIDEO_COMPRESSOR, Kind::Label, "Video compressor:", {7, 101, 88, 8}},
    {IDC_COMBO_VIDEO_COMPRESSOR, Kind::DropList, "", {98, 98, 162, 14}},
    {IDC_BUTTON_VIDEO_CODEC_SETTINGS, Kind::Button, "Settings", {264, 98, 50, 14}},
    {IDC_STATIC_AUDIO_COMPRESSOR, Kind::Label, "Audio compressor:", {7, 119, 88, 8}},
    {IDC_COMBO_AUDIO_COMPRESSOR, Kind::DropList, "", {98, 116, 162, 14}},
    {IDC_COMBO_CODEC_LIST, Kind::DropList, "", {98, 98, 162, 14}},
    {IDC_STATIC_VIDEO_COMPRESSOR_BITRATE, Kind::Label, "Video encoding bitrate:", {7, 101, 88, 8}},
    {IDC_EDIT_VIDEO_BITRATE, Kind::Edit, "", {98, 98, 44, 14}},
    {IDC_STATIC_VIDEO_KBPS, Kind::Label, "Kbps", {146, 101, 30, 8}},
    {IDC_STATIC_AUDIO_COMPRESSOR_BITRATE, Kind::Label, "Audio encoding bitrate:", {7, 119, 88, 8}},
    {IDC_COMBO_AUDIO_BITRATE, Kind::DropList, "", {98, 116, 44, 14}},
    {IDC_STATIC_AUDIO_KBPS, Kind::Label, "Kbps", {146, 119, 30, 8}},
    {IDC_STATIC_OPTIONS_NOTE,
     Kind::Note,
     "Note: some video and audio compressors may not work properly. For more detail, please "
     "read help.",
     {7, 136, 307, 20}},
    {IDC_BUTTON_OUTPUT_DEAULT, Kind::Button, "Default", {7, 162, 50, 14}},
    {IDC_BUTTON_OPTIONS_OK, Kind::DefaultButton, "OK", {210, 162, 50, 14}},
    {IDC_BUTTON_OPTIONS_CANCEL, Kind::Button, "Cancel", {264, 162, 50, 14}},
};

// The lists' initialisation data; entries replaced at run time keep their place here.
const char *const kResolutionItems[]
    = {"Original size", "640*480",   "720 * 576", "720 * 480",  "480*576",
       "480*480",       "352 * 288", "352 * 240", "Custom size"};
const char *const kFrameRateItems[]
    = {"Original frame rate", "23.976", "24", "25", "29.97", "30", "Custom frame rate"};
const char *const kResizeItems[] = {"Preserve aspect ratio", "Stretch"};
const char *const kAudioBitrateItems[] = {"64", "128", "192", "320"};

// Each row's label and the list or edit it labels (its buddy), which is how assistive
// technology on this desktop names a list: a list's own name is its current item.
const std::pair<int, int> kLabelled[] = {
    {IDC_STATIC_OUTPUT_FORMAT, IDC_COMBO_OUTPUT_FORMAT},
    {IDC_STATIC_OUTPUT_FILE, IDC_EDIT_OUTPUT_FILE},
    {IDC_STATIC_RESOLUTION, IDC_COMBO_RESOLUTION},
    {IDC_STATIC_FRAME_RATE, IDC_COMBO_FRAME_RATE},
    {IDC_STATIC_RESIZE_MODE, IDC_COMBO_RESIZE_MODE},
    {IDC_STATIC_VIDEO_COMPRESSOR, IDC_COMBO_VIDEO_COMPRESSOR},
    {IDC_STATIC_AUDIO_COMPRESSOR, IDC_COMBO_AUDIO_COMPRESSOR},
    {IDC_STATIC_VIDEO_COMPRESSOR_BITRATE, IDC_EDIT_VIDEO_BITRATE},
    {IDC_STATIC_AUDIO_COMPRESSOR_BITRATE, IDC_COMBO_AUDIO_BITRATE},
};

template<std::size_t N>
void AddItems(QWidget *widget, const char *const (&items)[N])
{
    auto *combo = static_cast<QComboBox *>(widget);
    for (const char *item : items)
        combo->addItem(QString::fromLatin1(item));
}

} // namespace

QRect TemplateRect(int id)
{
    for (const TemplateControl &entry : kTemplate)
        if (entry.id == id)
            return entry.rect;
    return QRect();
}

std::map<int, QWidget *> CreateTemplateControls(QWidget *dialog, const QSize &baseUnits)
{
    std::map<int, QWidget *> controls;
    for (const TemplateControl &entry : kTemplate) {
        const QString text = QString::fromLatin1(entry.text);
        QWidget *widget = nullptr;
        switch (entry.kind) {
        case Kind::Label:
        case Kind::Note: {
            auto *label = new QLabel(text, dialog);
            label->setWordWrap(entry.kind == Kind::Note);
            label->setAlignment(Qt::AlignLeft
                                | (entry.kind == Kind::Note ? Qt::AlignTop : Qt::AlignVCenter));
            widget = label;
            break;
        }
        case Kind::Edit:
            widget = new QLineEdit(dialog);
            break;
        case Kind::Button:
        case Kind::DefaultButton: {
            auto *button = new QPushButton(text, dialog);
            button->setAutoDefault(false);
            button->setDefault(entry.kind == Kind::DefaultButton);
            widget = button;
            break;
        }
        case Kind::DropList:
            widget = new QComboBox(dialog);
            break;
        }
        widget->setProperty("controlId", entry.id);
        platform::PlaceInDialogUnits(widget, entry.rect, baseUnits);
        controls[entry.id] = widget;
    }
    for (const auto &[label, control] : kLabelled)
        static_cast<QLabel *>(controls[label])->setBuddy(controls[control]);
    AddItems(controls[IDC_COMBO_RESOLUTION], kResolutionItems);
    AddItems(controls[IDC_COMBO_FRAME_RATE], kFrameRateItems);
    AddItems(controls[IDC_COMBO_RESIZE_MODE], kResizeItems);
    AddItems(controls[IDC_COMBO_AUDIO_BITRATE], kAudioBitrateItems);
    return controls;
}

void NameTemplateControls(const std::map<int, QWidget *> &controls)
{
    QString rowLabel;
    for (const TemplateControl &entry : kTemplate) {
        const auto found = controls.find(entry.id);
        if (found == controls.end())
            continue;
        QWidget *control = found->second;
        QString name;
        if (auto *label = qobject_cast<QLabel *>(control))
            name = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(control))
            name = button->text();
        else
            name = rowLabel;
        name.remove(QLatin1Char('&'));
        // A label in the first column heads its row.
        if (entry.kind == Kind::Label && entry.rect.x() == kTemplate[0].rect.x())
            rowLabel = name;
        // The two size edits share a row, so each is named after its side.
        if (entry.id == IDC_EDIT_WIDTH || entry.id == IDC_EDIT_HEIGHT)
            name = QString::fromStdString(CLanguage::Instance().GetString(
                entry.id == IDC_EDIT_WIDTH ? IDS_NAME_WIDTH : IDS_NAME_HEIGHT));
        control->setAccessibleName(name);
        control->setAccessibleDescription(control->toolTip().isEmpty() ? name : control->toolTip());
    }
}

} // namespace outputoptions
