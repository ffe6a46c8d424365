#pragma once

#include "platform/Status.h"
#include "preview/PreviewWindow.h"

#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace media {
class PlaybackGraph;
}
class CGraphNotifier;
class CVideoWidget;

enum PlayState { Stopped = 0, Paused = 1, Running = 2, Closed = 3 };

// The preview player: a playback graph for one file, shown in a top-level window of its own
// above the main window. It answers the main window's transport requests, reports the
// position to it once a second, and posts the Close command when its window is closed.
class CVcdCore : private PreviewWindowListener
{
public:
    // Commands of the preview window's pop-up menu.
    static constexpr int ID_FULL_SCREEN = CPreviewWindow::ID_FULL_SCREEN;
    static constexpr int ID_NORMAL_SIZE = CPreviewWindow::ID_NORMAL_SIZE;
    static constexpr int ID_PLAY = CPreviewWindow::ID_PLAY;
    static constexpr int ID_PAUSE = CPreviewWindow::ID_PAUSE;
    static constexpr int ID_STOP = CPreviewWindow::ID_STOP;
    static constexpr int ID_CLOSE = CPreviewWindow::ID_CLOSE;
    static constexpr int kCloseCommand = 1056;
    static constexpr int kCursorTimer = 1;
    static constexpr int kPositionTimer = 2;
    static constexpr int kCursorTimerPeriod = 50000;
    static constexpr int kPositionTimerPeriod = 1000;
    static constexpr int kCursorIdleTime = 100000;

    explicit CVcdCore(QWidget *owner);
    ~CVcdCore() override;

    CVcdCore(const CVcdCore &) = delete;
    CVcdCore &operator=(const CVcdCore &) = delete;

    // Builds the graph and the window for m_szMediaPath; the graph is left stopped. On failure
    // the reason has been shown and the player is closed again.
    bool OpenClip();
    void CloseClip();

    void Play();
    void Pause();
    void Stop();
    // Accurate: the picture shown afterwards is the frame at t.
    HRESULT Seek(REFERENCE_TIME t);
    // Quick, to the nearest key frame: while the slider is dragged.
    HRESULT SeekKeyFrame(REFERENCE_TIME t);

    void ToggleFullScreen();
    HRESULT InitVideoWindow(int multiplier, int divider);
    void UpdateTitle();
    void HandleGraphEvent();

    // Timer 2: refreshes the positions and tells the owner. Timer 1: hides an idle cursor.
    void OnPositionTimer();
    void OnCursorTimer();
    bool TimerActive(int id) const;
    // What the preview window reports.
    void OnMouseActivity() override;
    void OnLeftClick() override;
    void OnMenuCommand(int command);
    void OnWindowGeometryChanged() override;
    void OnEscape() override;
    void OnCloseRequested() override;
    // The owner decides what a dropped file does.
    bool OnFilesDropped(const QStringList &files) override;
    bool OnKeyPress(int key, Qt::KeyboardModifiers modifiers) override;

    PlayState State() const { return m_psCurrent; }
    // Frames per second of the video, 0 when unknown.
    double FrameRate() const;
    // Reads the positions from the graph now instead of at the next report.
    void RefreshPosition();
    // Keys pressed in the preview window go here first; true when taken.
    std::function<bool(int key, Qt::KeyboardModifiers modifiers)> m_keyHandler;
    // Files dropped on the preview window go here; true when taken.
    std::function<bool(const QStringList &files)> m_dropHandler;
    // Told that the file went (removed, renamed away, its medium taken out) each time it is
    // found gone; playing has stopped by then.
    std::function<void(const std::string &path)> m_sourceLostHandler;
    // The file was found gone: the graph is released, the last picture stays.
    bool SourceLost() const { return m_bSourceLost; }
    QWidget *Window() const;
    CVideoWidget *VideoWidget() const;
    // Where the video sits inside the window.
    QRect VideoRect() const;
    // Places the preview above the owner again, after the owner changed its size: the size
    // chosen for the picture, unless someone else resized the window since. False when the
    // preview has no place now (full screen, or no window), and the owner was left alone.
    bool PlaceWindows();
    // Whether the window manager's frame around window is known yet.
    static bool Framed(const QWidget *window);
    // The frame a window manager adds around window: an estimate until the window is framed.
    static QMargins FrameMargins(const QWidget *window);
    // The work area of the screen window is on.
    static QRect WorkArea(const QWidget *window);

    std::string m_szMediaPath;
    int m_bNoVideo = 0;
    int m_bFullScreen = 0;
    int m_bWindowShown = 0;
    bool m_bWindowExists = false;
    REFERENCE_TIME m_llCurrentPosition = 0;
    REFERENCE_TIME m_llStopPosition = 0;
    // In full screen, which way the next left click turns the owner window.
    int m_nOwnerOnTop = 1;

private:
    void OnGraphNotify() override { HandleGraphEvent(); }
    void OnPopupMenuClosed(int command) override;
    PreviewMenuState MenuState() const override;

    bool Fail(const std::string &text);
    // True while the file can still be opened (or no file is open); otherwise stops for good
    // and says so.
    bool CheckSource();
    void LoseSource();
    void CreatePreviewWindow();
    void EnterFullScreen();
    void LeaveFullScreen();
    void PlaceVideo();
    // Sizes and moves the window, and the owner below it, so that both stay within the work
    // area without overlapping.
    void PlaceWindows(const QSize &picture);
    void ShowCursor(bool show);
    void PostToOwner(QEvent *event);

    QPointer<QWidget> m_owner;
    PlayState m_psCurrent = Closed;
    std::unique_ptr<media::PlaybackGraph> m_graph;
    std::unique_ptr<CGraphNotifier> m_notifier;
    CPreviewWindow *m_window = nullptr;
    CVideoWidget *m_video = nullptr;
    qint64 m_lastActivity = 0;
    bool m_cursorHidden = false;
    QRect m_savedRect;
    Qt::WindowFlags m_savedFlags;
    QRect m_fullScreenVideo;
    // Set until the window manager's frame is known, to fit the window again then.
    bool m_bFitPending = false;
    QSize m_wantedClientSize;
    QSize m_fittedSize;
    QTimer m_cursorTimer;
    QTimer m_positionTimer;
    bool m_bSourceLost = false;
};
