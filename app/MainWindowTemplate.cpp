#include "app/MainWindowTemplate.h"

#include "app/VinteloDlg.h"
#include "controls/BitmapSlider.h"
#include "controls/ButtonST.h"
#include "controls/ValueLabel.h"
#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "platform/DialogUnits.h"
#include "resources/Artwork.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace mainwindow {

namespace {

enum class Kind { BitmapButton, Button, SunkenStatic, CentredSunkenStatic, Slider, GroupBox };

struct TemplateControl
{
    int id;
    Kind kind;
    const char *text;
    QRect rect; // dialog units
};

constexpr int kNoId = -1;

// Template 102 in its own order (the drawing order); the keyboard follows the screen instead.
const TemplateControl kTemplate[] = {
    {CVinteloDlg::IDC_BUTTON_HELP, Kind::BitmapButton, "&Help", {213, 5, 66, 32}},
    {CVinteloDlg::IDC_STATIC_STATUS, Kind::SunkenStatic, "", {7, 175, 343, 14}},
    {CVinteloDlg::IDC_BUTTON_CONVERT, Kind::BitmapButton, "Convert", {145, 5, 66, 32}},
    {CVinteloDlg::IDC_BUTTON_OUTPUT_SETTINGS, Kind::BitmapButton, "Options", {77, 5, 66, 32}},
    {CVinteloDlg::IDC_BUTTON_ADD_VIDEO, Kind::BitmapButton, "Open Video", {9, 5, 66, 32}},
    {CVinteloDlg::IDC_BUTTON_ABOUT, Kind::BitmapButton, "About", {281, 5, 66, 32}},
    {kNoId, Kind::GroupBox, "", {7, 0, 343, 39}},
    {CVinteloDlg::IDC_BUTTON_HOMEPAGE, Kind::BitmapButton, "Homepage", {133, 141, 66, 22}},
    {CVinteloDlg::IDC_SLIDER_POSITION, Kind::Slider, "", {7, 63, 343, 17}},
    {CVinteloDlg::IDC_BUTTON_CLOSE, Kind::Button, "Close", {221, 135, 6, 6}},
    {CVinteloDlg::IDC_STATIC_POSITION, Kind::CentredSunkenStatic, "", {68, 43, 202, 14}},
    {CVinteloDlg::IDC_BUTTON_PLAY, Kind::Button, "Play", {14, 87, 66, 14}},
    {CVinteloDlg::IDC_BUTTON_PAUSE, Kind::Button, "Pause", {132, 87, 66, 14}},
    {CVinteloDlg::IDC_BUTTON_STOP, Kind::Button, "Stop", {250, 87, 66, 14}},
    {CVinteloDlg::IDC_BUTTON_START_TIME, Kind::Button, "Start Time", {14, 116, 66, 14}},
    {CVinteloDlg::IDC_BUTTON_END_TIME, Kind::Button, "End Time", {180, 116, 66, 14}},
    {CVinteloDlg::IDC_STATIC_START_TIME, Kind::CentredSunkenStatic, "", {82, 116, 66, 14}},
    {CVinteloDlg::IDC_STATIC_END_TIME, Kind::CentredSunkenStatic, "", {248, 116, 66, 14}},
    {CVinteloDlg::IDC_BUTTON_EXIT, Kind::BitmapButton, "Exit", {252, 141, 66, 22}},
};

struct Decoration
{
    int id;
    int icon;
    int tooltipString; // catalogue string
};

const Decoration kDecorations[] = {
    {CVinteloDlg::IDC_BUTTON_ADD_VIDEO, artwork::IconOpen, 119},
    {CVinteloDlg::IDC_BUTTON_OUTPUT_SETTINGS, artwork::IconOptions, 120},
    {CVinteloDlg::IDC_BUTTON_CONVERT, artwork::IconApplication, 121},
    {CVinteloDlg::IDC_BUTTON_HELP, artwork::IconHelp, IDS_TIP_HELP},
    {CVinteloDlg::IDC_BUTTON_HOMEPAGE, artwork::IconHomepage, IDS_TIP_HOMEPAGE},
    {CVinteloDlg::IDC_BUTTON_ABOUT, artwork::IconAbout, IDS_TIP_ABOUT},
    {CVinteloDlg::IDC_BUTTON_EXIT, artwork::IconExit, IDS_TIP_EXIT},
};

} // namespace

std::vector<int> ScreenOrder()
{
    std::vector<const TemplateControl *> entries;
    for (const TemplateControl &entry : kTemplate)
        if (entry.id != kNoId)
            entries.push_back(&entry);
    // Rows from the top, each from the left; controls of one row share their top edge.
    std::stable_sort(entries.begin(), entries.end(), [](const auto *a, const auto *b) {
        return std::pair(a->rect.y(), a->rect.x()) < std::pair(b->rect.y(), b->rect.x());
    });
    std::vector<int> ids;
    for (const TemplateControl *entry : entries)
        ids.push_back(entry->id);
    return ids;
}

std::map<int, QWidget *> CreateTemplateControls(QWidget *dialog, const QSize &baseUnits)
{
    std::map<int, QWidget *> controls;
    QGroupBox *groupBox = nullptr;
    for (const TemplateControl &entry : kTemplate) {
        QWidget *widget = nullptr;
        const QString text = QString::fromLatin1(entry.text);
        switch (entry.kind) {
        case Kind::BitmapButton: {
            auto *button = new CButtonST(dialog);
            button->setText(text);
            widget = button;
            break;
        }
        case Kind::Button:
            widget = new QPushButton(text, dialog);
            static_cast<QPushButton *>(widget)->setAutoDefault(false);
            break;
        case Kind::SunkenStatic:
        case Kind::CentredSunkenStatic: {
            auto *label = entry.kind == Kind::SunkenStatic ? new CStatusLine(dialog)
                                                           : new CValueLabel(dialog);
            label->setText(text);
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(entry.kind == Kind::CentredSunkenStatic
                                    ? Qt::AlignCenter
                                    : Qt::AlignLeft | Qt::AlignVCenter);
            label->setAutoFillBackground(true);
            widget = label;
            break;
        }
        case Kind::Slider:
            widget = new CBitmapSlider(dialog);
            break;
        case Kind::GroupBox:
            groupBox = new QGroupBox(dialog);
            groupBox->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = groupBox;
            break;
        }
        widget->setProperty("controlId", entry.id);
        platform::PlaceInDialogUnits(widget, entry.rect, baseUnits);
        if (entry.id != kNoId)
            controls[entry.id] = widget;
    }
    // The frame sits behind the buttons it surrounds.
    groupBox->lower();
    QWidget *previous = nullptr;
    for (int id : ScreenOrder()) {
        // Qt chains only controls that take the focus; the displays are read, not tabbed to.
        if (controls[id]->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, controls[id]);
        previous = controls[id];
    }
    return controls;
}

void DecorateButtons(const std::map<int, QWidget *> &controls)
{
    const CLanguage &language = CLanguage::Instance();
    for (const Decoration &decoration : kDecorations) {
        auto *button = static_cast<CButtonST *>(controls.at(decoration.id));
        button->SetIcons(artwork::Icon(decoration.icon));
        button->SetHoverSound(artwork::SoundHover);
        button->EnableTransparency();
        button->SetHoverCursor(artwork::Cursor(artwork::CursorHand));
        button->SetTooltip(QString::fromStdString(language.GetString(decoration.tooltipString)));
        button->SetIconAlignment(CButtonST::IconAbove);
    }
}

} // namespace mainwindow
