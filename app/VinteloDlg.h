#pragma once

#include "job/ConversionJob.h"

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QStringList>

#include <map>
#include <memory>
#include <span>
#include <string>

class CBitmapSlider;
class CButtonST;
class CTrimControls;
class ConversionWindow;
class QLabel;
class QPushButton;
class SettingsStore;

// The main window: its controls, its start-up and close sequences, and the commands that
// arrive from its buttons and from posted events.
class CVinteloDlg : public QDialog
{
    Q_OBJECT
public:
    enum ControlId {
        IDC_BUTTON_CONVERT = 1000,
        IDC_BUTTON_OUTPUT_SETTINGS = 1003,
        IDC_BUTTON_ADD_VIDEO = 1006,
        IDC_STATIC_STATUS = 1021,
        IDC_BUTTON_ABOUT = 1042,
        IDC_BUTTON_HOMEPAGE = 1047,
        IDC_SLIDER_POSITION = 1055,
        IDC_BUTTON_CLOSE = 1056,
        IDC_STATIC_POSITION = 1057,
        IDC_BUTTON_PLAY = 1058,
        IDC_BUTTON_PAUSE = 1060,
        IDC_BUTTON_STOP = 1061,
        IDC_BUTTON_START_TIME = 1062,
        IDC_BUTTON_END_TIME = 1063,
        IDC_STATIC_END_TIME = 1064,
        IDC_STATIC_START_TIME = 1065,
        IDC_BUTTON_EXIT = 1076,
        IDC_BUTTON_HELP = 1084,
    };
    static constexpr int kDialogNumber = 102;
    static constexpr int kSliderRange = 600;

    // Settings are read from and kept in store, which outlives the window.
    explicit CVinteloDlg(SettingsStore &store, QWidget *parent = nullptr);
    ~CVinteloDlg() override;

    // The control carrying number id, or nullptr.
    QWidget *Control(int id) const;
    QString StatusText() const;
    // Shows text in the status line; the output file's path in it (or shortenable) is what
    // gets shortened when the line is too narrow.
    void ShowStatus(const QString &text, const QString &shortenable = QString());
    // Shows the window and returns when it has ended. Other windows stay usable meanwhile.
    void RunUntilEnded();
    // False when start-up stopped early because the media framework could not start.
    bool Initialized() const { return m_bInitialized; }
    // The conversion this window runs: the opened video, its marks and the output settings.
    ConversionJob &Job() { return m_job; }
    SettingsStore &Store() const { return m_store; }
    const ConversionJob &Job() const { return m_job; }
    // The position slider's place, 0 to its range.
    int m_nSliderPos = 0;

    // The conversion's view of this window (caption, status, timer 1112, locked controls).
    ConversionWindow &Converter();

    // Opens path as Open Video does once its chooser has answered.
    void OpenVideoFile(const std::string &path);
    // Files handed over from outside (command line, a drop): the first is opened after the
    // current event, the others are named in a note. False when nothing could be opened now.
    bool OpenHandedFiles(const QStringList &files);
    // The program's arguments: a file given by the desktop is opened once the window runs.
    void OpenFromArguments(const QStringList &arguments);

    // Whether the window shows where the keyboard focus is (after a key moved it, or at start).
    bool FocusShown() const;

    // Dialog units of the template to pixels with the dialog font's base units.
    QRect DialogUnitsToPixels(const QRect &units) const;

public slots:
    void OnOpenVideo();
    void OnConvert();
    void OnOutputOptions();
    void OnHelp();
    void OnAbout();
    void OnHomepage();
    void OnExit();
    void OnSliderReleased();
    void OnClosePreview();
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnStartTime();
    void OnEndTime();
    void OnFont();
    // A command from a menu: a language, Font or About.
    void OnCommand(int command);

    void accept() override;
    void reject() override;

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // Enter presses the button that has the focus while its focus shows; Space stays play and
    // pause.
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool OnInitDialog();
    // The preview's keys (Space, arrows, Home, End, I, O) on this window.
    void CreateKeys();
    // Each transport button's tooltip names its key, after its (language's) caption; every
    // control gets an accessible name and description in the current language.
    void ShowKeysInTooltips();
    void NameControls();
    void CreateControls();
    void OnGraphNotify();
    void OnPositionTick();
    // The preview player's part of opening a video.
    void ClosePreview();
    void OpenPreview(const std::string &path);
    void SetControlText(int id, const QString &text);
    // Keeps this window, and the preview above it, within the screen's work area.
    void PlaceWindows();
    // The interface font, made smaller only as far as the window must to fit the screen.
    void FitFontToScreen();
    void EnableControls(std::span<const int> ids, bool enable);

    bool m_bInitialized = false;
    SettingsStore &m_store;
    ConversionJob m_job;
    QPixmap m_background;
    QSize m_baseUnits;
    std::map<int, QWidget *> m_controls;
    // The font the window was given, before any fitting to the screen.
    QFont m_chosenFont;
    bool m_fittingFont = false;
    bool m_placing = false;
    // Placed once more when the window manager's frame is known.
    bool m_placePending = false;
    CBitmapSlider *m_slider = nullptr;
    ConversionWindow *m_conversion = nullptr;
    // Last, so the preview player goes before the controls it updates.
    std::unique_ptr<CTrimControls> m_trim;
};
