// The preview player's full screen, cursor hiding and which window a click brings to the top.
#include "preview/VcdCore.h"

#include "media/playback/PlaybackGraph.h"
#include "preview/PreviewGeometry.h"
#include "preview/VideoWidget.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <chrono>

namespace {

// Which window a left click in windowed mode brings to the top: 1 the preview, 0 the owner.
int g_nPreviewToTop = 1;

qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Keeps a window above others or lets it go, without rebuilding it: rebuilding would hide it,
// and hiding a modal dialog ends its event loop.
void SetTopmost(QWidget *window, bool topmost)
{
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, topmost);
    if (flags == window->windowFlags())
        return;
    window->overrideWindowFlags(flags);
    if (QWindow *handle = window->windowHandle())
        handle->setFlags(flags);
}

} // namespace

void CVcdCore::ToggleFullScreen()
{
    if (m_bNoVideo || !m_window || !m_video)
        return;
    if (m_bFullScreen)
        LeaveFullScreen();
    else
        EnterFullScreen();
}

void CVcdCore::EnterFullScreen()
{
    QScreen *screen = m_window->screen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 640, 480);
    m_savedRect = m_window->geometry();
    m_bFitPending = false;
    m_savedFlags = m_window->windowFlags();
    m_window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    m_window->setGeometry(screenRect);
    m_window->show();

    int width = 0;
    int height = 0;
    if (m_graph->GetVideoSize(&width, &height) == E_NOINTERFACE)
        return;
    m_fullScreenVideo = preview::FullScreenVideoRect(screenRect.width(), screenRect.height(),
                                                     width * 10, height * 10);
    m_video->setGeometry(m_fullScreenVideo);

    m_lastActivity = NowMs();
    m_cursorTimer.start(kCursorTimerPeriod);
    m_nOwnerOnTop = 1;
    m_bFullScreen = 1;
}

void CVcdCore::LeaveFullScreen()
{
    m_window->setWindowFlags(m_savedFlags);
    m_window->setGeometry(m_savedRect);
    if (m_bWindowShown)
        m_window->show();
    else
        m_window->hide();

    m_cursorTimer.stop();
    ShowCursor(true);
    m_bFullScreen = 0;
    PlaceVideo();

    if (m_owner) {
        if (m_owner->isMinimized())
            m_owner->showNormal();
        else
            m_owner->show();
    }
    if (m_bWindowShown)
        m_window->raise();
}

void CVcdCore::PlaceVideo()
{
    if (!m_video || !m_window)
        return;
    m_video->setGeometry(m_bFullScreen ? m_fullScreenVideo : m_window->rect());
}

void CVcdCore::ShowCursor(bool show)
{
    if (show == !m_cursorHidden || !m_window)
        return;
    m_cursorHidden = !show;
    for (QWidget *widget : {static_cast<QWidget *>(m_window), static_cast<QWidget *>(m_video)}) {
        if (show)
            widget->unsetCursor();
        else
            widget->setCursor(Qt::BlankCursor);
    }
}

void CVcdCore::OnCursorTimer()
{
    if (NowMs() - m_lastActivity > kCursorIdleTime)
        ShowCursor(false);
}

void CVcdCore::OnMouseActivity()
{
    if (!m_bFullScreen)
        return;
    ShowCursor(true);
    m_lastActivity = NowMs();
}

void CVcdCore::OnLeftClick()
{
    if (!m_owner)
        return;
    if (m_bFullScreen) {
        // The owner cannot be hidden: hiding a modal dialog ends it. Minimised is out of sight.
        if (m_nOwnerOnTop == 1) {
            SetTopmost(m_owner, false);
            m_owner->showMinimized();
        } else {
            m_owner->showNormal();
            SetTopmost(m_owner, true);
            m_owner->raise();
        }
        m_nOwnerOnTop = m_nOwnerOnTop == 1 ? 0 : 1;
        return;
    }
    if (g_nPreviewToTop == 1) {
        SetTopmost(m_owner, false);
        m_owner->show();
        m_window->show();
        m_window->raise();
    } else {
        SetTopmost(m_owner, true);
        m_owner->show();
        m_owner->raise();
    }
    g_nPreviewToTop = g_nPreviewToTop == 1 ? 0 : 1;
}
