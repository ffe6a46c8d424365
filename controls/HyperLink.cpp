#include "controls/HyperLink.h"

#include "platform/MessageBoxes.h"
#include "platform/ShellOpen.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QTimerEvent>

#include <array>
#include <cstdio>

const QColor CHyperLink::kLinkColour(0, 0, 238);
const QColor CHyperLink::kVisitedColour(85, 26, 139);
const QColor CHyperLink::kHoverColour(255, 0, 0);

CHyperLink::CHyperLink(QWidget *parent)
    : QLabel(parent)
{
}

CHyperLink::~CHyperLink()
{
    m_hoverTimer.stop();
}

void CHyperLink::PreSubclassWindow()
{
    // Clicks and pointer moves reach the control: the notify style of a static.
    setMouseTracking(true);

    if (m_strTarget.isEmpty())
        m_strTarget = text();
    if (text().isEmpty())
        setText(m_strTarget);

    // A widget always has a font here; the framework's default stands in for a missing one.
    m_StdFont = font();
    m_UnderlineFont = m_StdFont;
    m_UnderlineFont.setUnderline(true);

    // Colours and background belong to the control, not to the dialog around it.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    // Otherwise the text would follow the background's role (button text).
    setForegroundRole(QPalette::WindowText);
    m_bAttached = true;
    ApplyColours();

    AdjustToFit();
    LoadLinkCursor();
    SetUnderlineMode(UnderlineHover);

    setToolTip(m_strTarget);
}

void CHyperLink::SetTarget(const QString &target)
{
    m_strTarget = target;
    if (m_bAttached) {
        AdjustToFit();
        setToolTip(m_strTarget);
    }
}

void CHyperLink::SetUnderlineMode(int mode)
{
    if (mode == m_nUnderline)
        return;
    if (m_bAttached) {
        setFont(mode == UnderlineAlways ? m_UnderlineFont : m_StdFont);
        update();
    }
    m_nUnderline = mode;
}

void CHyperLink::SetVisitedState(bool visited)
{
    m_bVisited = visited;
    if (m_bAttached) {
        ApplyColours();
        update();
    }
}

QColor CHyperLink::CurrentColour() const
{
    if (m_bOverControl)
        return kHoverColour;
    return m_bVisited ? kVisitedColour : kLinkColour;
}

void CHyperLink::ApplyColours()
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, CurrentColour());
    setPalette(colours);
}

void CHyperLink::AdjustToFit()
{
    if (!m_bAdjustToFit || !m_bAttached)
        return;
    const QRect window = geometry();
    const QRect client = contentsRect();
    const QSize textSize = QFontMetrics(m_UnderlineFont).size(Qt::TextSingleLine, text());
    const int width = textSize.width() + window.width() - client.width() + 2 * margin();
    const int height = textSize.height() + window.height() - client.height() + 2 * margin();

    const Qt::Alignment align = alignment();
    int top = window.top();
    if (align & Qt::AlignVCenter)
        top += (window.height() - height) / 2;
    int left = window.left();
    if (align & Qt::AlignHCenter)
        left += (window.width() - width) / 2;
    else if (align & Qt::AlignRight)
        left = window.left() + window.width() - width;
    setGeometry(left, top, width, height);
}

void CHyperLink::LoadLinkCursor()
{
    // The platform's own hand cursor; a control without one keeps the ordinary cursor.
    if (!m_linkCursor)
        m_linkCursor = QCursor(Qt::PointingHandCursor);
    setCursor(*m_linkCursor);
}

void CHyperLink::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_bOverControl) {
        m_bOverControl = true;
        if (m_nUnderline == UnderlineHover)
            setFont(m_UnderlineFont);
        ApplyColours();
        update();
        m_hoverTimer.start(kHoverPeriodMs, this);
    }
    QLabel::mouseMoveEvent(event);
}

void CHyperLink::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_hoverTimer.timerId()) {
        QLabel::timerEvent(event);
        return;
    }
    // The pointer may leave between two moves, or with a jump no move reports.
    if (rect().contains(mapFromGlobal(QCursor::pos())))
        return;
    m_bOverControl = false;
    m_hoverTimer.stop();
    if (m_nUnderline != UnderlineAlways)
        setFont(m_StdFont);
    ApplyColours();
    // The underline may reach below the control; clean the strip beneath it too.
    if (QWidget *owner = parentWidget())
        owner->update(geometry().adjusted(0, 0, 0, 10));
    update();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        OnClicked();
}

void CHyperLink::OnClicked()
{
    m_bOverControl = false;
    const int result = OpenTarget(m_strTarget, platform::SW_SHOWNORMAL);
    m_bVisited = platform::ShellSucceeded(result);
    if (m_bVisited) {
        SetVisitedState(true);
        return;
    }
    ApplyColours();
    QApplication::beep();
    ShowOpenError(result);
}

int CHyperLink::OpenTarget(const QString &target, int showCommand)
{
    const std::string link = target.toStdString();
    const int result = platform::ShellOpen(link, showCommand);
    if (platform::ShellSucceeded(result))
        return result;

    // The desktop could not open it: hand it to the default web browser directly.
    const std::optional<std::string> browser = platform::DefaultBrowserCommand();
    if (!browser)
        return result;
    return platform::StartProgram(BrowserCommandLine(*browser, link), showCommand);
}

void CHyperLink::ShowOpenError(int code)
{
    platform::ShowAppMessageBox(OpenErrorText(code));
}

std::string CutBrowserCommand(const std::string &commandLine)
{
    static constexpr std::array<const char *, 5> kPlaceholders{"%1", "%u", "%U", "%f", "%F"};
    auto first = [&](bool quoted) {
        std::size_t best = std::string::npos;
        for (const char *placeholder : kPlaceholders) {
            const std::string pattern
                = quoted ? '"' + std::string(placeholder) + '"' : std::string(placeholder);
            best = std::min(best, commandLine.find(pattern));
        }
        return best;
    };
    std::size_t cut = first(true);
    if (cut == std::string::npos)
        cut = first(false);
    std::string result = commandLine.substr(0, cut);
    while (!result.empty() && (result.back() == ' ' || result.back() == '\t'))
        result.pop_back();
    return result;
}

std::string BrowserCommandLine(const std::string &commandLine, const std::string &target)
{
    std::string line = CutBrowserCommand(commandLine);
    line += ' ';
    if (target.find_first_of(" \t\n\"\\`$") == std::string::npos)
        return line + target;
    line += '"';
    for (char c : target) {
        if (c == '"' || c == '\\' || c == '`' || c == '$')
            line += '\\';
        line += c;
    }
    line += '"';
    return line;
}

std::string OpenErrorText(int code)
{
    const char *text = nullptr;
    switch (code) {
    case 0:
        text = "The operating system is out\nof memory or resources.";
        break;
    case 2:
        text = "The specified file was not found.";
        break;
    case 3:
        text = "The specified path was not found.";
        break;
    case 5:
        text = "The operating system denied\naccess to the specified file.";
        break;
    case 8:
        text = "There was not enough memory to complete the operation.";
        break;
    case 11:
        text = "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        break;
    case 26:
        text = "A sharing violation occurred. ";
        break;
    case 27:
        text = "The filename association is\nincomplete or invalid.";
        break;
    case 28:
        text = "The DDE transaction could not\nbe completed because the request timed out.";
        break;
    case 29:
        text = "The DDE transaction failed.";
        break;
    case 30:
        text = "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
               "being processed.";
        break;
    case 31:
        text = "There is no application associated\nwith the given filename extension.";
        break;
    case 32:
        text = "The specified dynamic-link library was not found.";
        break;
    }
    std::string message = "Unable to open hyperlink:\n\n";
    if (text)
        return message + text;
    char unknown[64];
    std::snprintf(unknown, sizeof unknown, "Unknown Error (%d) occurred.", code);
    return message + unknown;
}
