#include "app/AboutDlg.h"

#include "app/MainCommands.h"
#include "app/ProductInfo.h"
#include "controls/HyperLink.h"
#include "localisation/BuiltinTexts.h"
#include "localisation/DialogLanguage.h"
#include "localisation/Language.h"
#include "platform/DialogUnits.h"
#include "resources/Artwork.h"

#include <QLabel>
#include <QPushButton>

namespace {

constexpr int kNoId = -1;
const QSize kTemplateSize(244, 126);

enum class Kind { Icon, Static, Note, Link, DefaultButton };

struct TemplateControl
{
    int id;
    Kind kind;
    const char *text; // nullptr: filled in at run time
    QRect rect;       // dialog units
};

// Template 100 in its own order.
const TemplateControl kTemplate[] = {
    {kNoId, Kind::Icon, "", {11, 10, 21, 20}},
    {CAboutDlg::IDC_STATIC_PRODUCT, Kind::Static, product::kName, {42, 12, 150, 10}},
    {CAboutDlg::IDC_STATIC_VERSION, Kind::Static, nullptr, {42, 26, 150, 10}},
    {CAboutDlg::IDC_HOMEPAGE_LINK, Kind::Link, product::kHomePage, {42, 50, 190, 10}},
    {CAboutDlg::IDC_SUPPORT_LINK, Kind::Link, "Support Email: Click here", {42, 66, 190, 10}},
    // Two lines of room between the links and the button.
    {CAboutDlg::IDC_STATIC_HELP_NOTE, Kind::Note, nullptr, {42, 82, 190, 20}},
    {CAboutDlg::IDOK, Kind::DefaultButton, "OK", {187, 105, 50, 14}},
};

QString TextOf(const TemplateControl &entry)
{
    const CLanguage &language = CLanguage::Instance();
    switch (entry.id) {
    case CAboutDlg::IDC_STATIC_VERSION:
        return CatalogueText(FormatText(language.GetString(IDS_VERSION), {product::Version()}));
    case CAboutDlg::IDC_SUPPORT_LINK:
        return CatalogueText(language.GetString(IDS_SUPPORT_LINK));
    case CAboutDlg::IDC_STATIC_HELP_NOTE:
        return CatalogueText(language.GetString(IDS_HELP_IN_ENGLISH));
    default:
        return QString::fromLatin1(entry.text);
    }
}

} // namespace

CAboutDlg::CAboutDlg(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CAboutDlg"));
    setProperty("controlId", kDialogNumber);
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    CreateControls();
    OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

QWidget *CAboutDlg::Control(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

void CAboutDlg::CreateControls()
{
    // Placed in dialog units, so the box grows with the interface font as the other dialogs do.
    setProperty("templateSize", kTemplateSize);
    const QSize base = platform::DialogBaseUnits(font());
    setFixedSize(platform::DialogUnitsToPixels(QRect(QPoint(0, 0), kTemplateSize), base).size());

    const bool helpNote = maincommands::HelpOnlyInEnglish();
    for (const TemplateControl &entry : kTemplate) {
        if (entry.kind == Kind::Note && !helpNote)
            continue;
        const QString text = TextOf(entry);
        QWidget *widget = nullptr;
        switch (entry.kind) {
        case Kind::Icon: {
            auto *icon = new QLabel(this);
            icon->setPixmap(artwork::Icon(artwork::IconApplication).pixmap(32, 32));
            icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = icon;
            break;
        }
        case Kind::Static:
        case Kind::Note: {
            auto *label = new QLabel(text, this);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(entry.kind == Kind::Note);
            widget = label;
            break;
        }
        case Kind::Link: {
            auto *link = new CHyperLink(this);
            link->setText(text);
            link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            (entry.id == IDC_HOMEPAGE_LINK ? m_homePage : m_support) = link;
            widget = link;
            break;
        }
        case Kind::DefaultButton: {
            auto *button = new QPushButton(text, this);
            button->setDefault(true);
            connect(button, &QPushButton::clicked, this, &QDialog::accept);
            widget = button;
            break;
        }
        }
        widget->setProperty("controlId", entry.id);
        platform::PlaceInDialogUnits(widget, entry.rect, base);
        if (entry.id != kNoId)
            m_controls[entry.id] = widget;
    }
}

void CAboutDlg::DoDataExchange()
{
    m_support->PreSubclassWindow();
    m_homePage->PreSubclassWindow();
}

bool CAboutDlg::OnInitDialog()
{
    // Texts and font first: the links take their font and fit their text when attached.
    ApplyToDialog(this, kDialogNumber);
    DoDataExchange();
    m_homePage->SetTarget(QString::fromLatin1(product::kHomePage));
    m_support->SetTarget(QString::fromLatin1(product::kContactPage));
    m_homePage->SetUnderlineMode(CHyperLink::UnderlineAlways);
    m_support->SetUnderlineMode(CHyperLink::UnderlineAlways);
    return true;
}
