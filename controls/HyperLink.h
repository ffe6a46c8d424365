#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>

#include <optional>
#include <string>

// A static text of a dialog turned into a link: link colours, underlining, the hand cursor, a
// tooltip with the target, and the target opened with the desktop when clicked.
class CHyperLink : public QLabel
{
    Q_OBJECT
public:
    enum UnderlineMode { UnderlineAlways = 1, UnderlineNever = 0, UnderlineHover = -1 };
    // Qt numbers its timers itself; this names the hover poll.
    static constexpr int kHoverTimer = 100;
    static constexpr int kHoverPeriodMs = 100;
    static const QColor kLinkColour;
    static const QColor kVisitedColour;
    static const QColor kHoverColour;

    explicit CHyperLink(QWidget *parent = nullptr);
    ~CHyperLink() override;

    // Attaches to the label as it stands (its place, text, font and alignment); the owning
    // dialog calls it once, when it binds its controls.
    void PreSubclassWindow();
    bool IsAttached() const { return m_bAttached; }

    void SetTarget(const QString &target);
    QString GetTarget() const { return m_strTarget; }
    void SetUnderlineMode(int mode);
    int GetUnderlineMode() const { return m_nUnderline; }
    void SetVisitedState(bool visited);
    bool GetVisitedState() const { return m_bVisited; }
    void SetAdjustToFit(bool adjust) { m_bAdjustToFit = adjust; }
    bool IsHovering() const { return m_bOverControl; }
    bool HasLinkCursor() const { return m_linkCursor.has_value(); }
    // The text colour the control paints with now.
    QColor CurrentColour() const;

    // Opens the target: the desktop's opener first, then the default browser's command line.
    // Returns a shell-execution code, above 32 on success.
    static int OpenTarget(const QString &target, int showCommand);
    static void ShowOpenError(int code);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void OnClicked();
    void AdjustToFit();
    void LoadLinkCursor();
    void ApplyColours();

    QString m_strTarget;
    QFont m_UnderlineFont;
    QFont m_StdFont;
    std::optional<QCursor> m_linkCursor;
    bool m_bOverControl = false;
    bool m_bVisited = false;
    int m_nUnderline = UnderlineHover;
    bool m_bAdjustToFit = true;
    bool m_bAttached = false;
    QBasicTimer m_hoverTimer;
};

// The browser's command line cut at its placeholder: before the opening quote of the first
// quoted placeholder, else at the first placeholder, else whole. Placeholders are %1 and the
// desktop entry field codes %u %U %f %F. Blanks before the cut are dropped.
std::string CutBrowserCommand(const std::string &commandLine);
// The cut command line, a blank and the target; a target that blanks or quotes would split is
// quoted.
std::string BrowserCommandLine(const std::string &commandLine, const std::string &target);
// "Unable to open hyperlink:\n\n" and the text for a failed open's code.
std::string OpenErrorText(int code);
