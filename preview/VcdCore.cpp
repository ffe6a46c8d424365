#include "preview/VcdCore.h"

#include "app/WindowMessages.h"
#include "convert/media/MediaPlatform.h"
#include "platform/MessageBoxes.h"
#include "preview/GraphNotify.h"
#include "preview/PreviewGeometry.h"
#include "preview/PreviewWindow.h"
#include "preview/VideoWidget.h"
#include "resources/Artwork.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

const char kCannotPlay[] = "Cannot play the file.  The file is either corrupt or\nthe player does "
                           "not support the format you are trying to play.\nYou need to install "
                           "appropriate decoders.";

// Which window a left click in windowed mode brings to the top: 1 the preview, 0 the owner.
int g_nPreviewToTop = 1;

qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string Formatted(const char *format, HRESULT hr)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned>(hr));
    return buffer;
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

CVcdCore::CVcdCore(QWidget *owner)
    : m_owner(owner)
{
}

CVcdCore::~CVcdCore()
{
    if (m_psCurrent != Closed || m_graph || m_window)
        CloseClip();
}

QWidget *CVcdCore::Window() const
{
    return m_window;
}

CVideoWidget *CVcdCore::VideoWidget() const
{
    return m_video;
}

QRect CVcdCore::VideoRect() const
{
    return m_video ? m_video->geometry() : QRect();
}

bool CVcdCore::Fail(const std::string &text)
{
    platform::ShowReportBox(text);
    CloseClip();
    return false;
}

void CVcdCore::CreatePreviewWindow()
{
    m_window = new CPreviewWindow(this);
    m_window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                             | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                             | Qt::WindowCloseButtonHint);
    m_window->setWindowTitle(QStringLiteral("Video Window"));
    m_window->setWindowIcon(artwork::Icon(artwork::IconApplication));

    QScreen *screen = m_owner ? m_owner->screen() : QGuiApplication::primaryScreen();
    const QRect workArea = screen ? screen->availableGeometry() : QRect(0, 0, 640, 480);
    const QRect ownerFrame = m_owner ? m_owner->frameGeometry() : workArea;
    const QRect placed = preview::PreviewWindowRect(workArea, ownerFrame);
    m_window->move(placed.topLeft());
    // Room above the owner may be too small; the video size replaces this anyway.
    m_window->resize(std::max(placed.width(), 1), std::max(placed.height(), 1));

    m_video = new CVideoWidget(m_window);
    m_video->hide();
    m_bWindowExists = true;
}

bool CVcdCore::OpenClip()
{
    m_psCurrent = Stopped;
    CreatePreviewWindow();

    HRESULT hr = media::PlaybackGraph::Create(&m_graph);
    if (SUCCEEDED(hr)) {
        media::RenderOptions options;
        options.onVideoFrame = m_video->FrameReceiver();
        options.playAudio = true;
        m_graph->SetRenderOptions(std::move(options));
        hr = m_graph->RenderFile(m_szMediaPath);
    }
    if (FAILED(hr))
        return Fail(kCannotPlay);

    // The graph offers control, events, the video window and audio once it is built; only
    // seeking depends on what was rendered.
    const struct
    {
        HRESULT hr;
        const char *text;
    } interfaces[] = {
        {S_OK, "FAILED(hr=0x%x) in pGB->QueryInterface(IID_IMediaControl, (void **)&pMC)\n"},
        {S_OK, "FAILED(hr=0x%x) in pGB->QueryInterface(IID_IMediaEventEx, (void **)&pME)\n"},
        {m_graph->QuerySeeking(),
         "FAILED(hr=0x%x) in pGB->QueryInterface(IID_IMediaSeeking, (void **)&pMS)\n"},
        {S_OK, "FAILED(hr=0x%x) in pGB->QueryInterface(IID_IVideoWindow, (void **)&pVW)\n"},
        {S_OK, "FAILED(hr=0x%x) in pGB->QueryInterface(IID_IBasicVideo, (void **)&pBV)\n"},
        {S_OK, "FAILED(hr=0x%x) in pGB->QueryInterface(IID_IBasicAudio, (void **)&pBA)\n"},
    };
    for (const auto &query : interfaces)
        if (FAILED(query.hr))
            return Fail(Formatted(query.text, query.hr));

    hr = m_graph->QueryBasicVideo();
    if (hr == E_NOINTERFACE)
        m_bNoVideo = 1;
    else if (FAILED(hr))
        platform::ShowReportBox(Formatted("Failed(%08lx) in pVW->get_Visible()!\r\n", hr));

    m_notifier = std::make_unique<CGraphNotifier>(m_window);
    m_graph->SetNotifyCallback(m_notifier->Callback());

    if (!m_bNoVideo) {
        m_video->show();
        hr = InitVideoWindow(1, 1);
        if (FAILED(hr))
            return Fail(Formatted("FAILED(hr=0x%x) in InitVideoWindow(1, 1)\n", hr));
    }

    if (m_bNoVideo) {
        m_window->hide();
    } else {
        m_bWindowShown = 1;
        m_window->showNormal();
    }

    m_window->update();
    m_window->raise();
    m_window->activateWindow();
    m_window->setFocus();
    UpdateTitle();
    m_window->StartTimer(kPositionTimer, kPositionTimerPeriod);
    return true;
}

void CVcdCore::CloseClip()
{
    if (m_graph)
        m_graph->Stop();
    m_psCurrent = Stopped;
    m_bNoVideo = 1;

    if (m_bWindowExists) {
        // Nothing may be posted to the window once it is gone.
        if (m_notifier)
            m_notifier->Detach();
        m_window->hide();
        m_video->hide();
        if (m_bFullScreen) {
            m_bWindowShown = 0;
            LeaveFullScreen();
        }
        if (m_owner)
            m_owner->update();
        delete m_window;
        m_window = nullptr;
        m_video = nullptr;
        m_bWindowExists = false;
    }

    if (m_graph)
        m_graph->SetNotifyCallback(nullptr);
    m_notifier.reset();
    m_graph.reset();

    m_szMediaPath.clear();
    m_psCurrent = Closed;
    if (m_owner)
        m_owner->update();
    UpdateTitle();
}

HRESULT CVcdCore::InitVideoWindow(int multiplier, int divider)
{
    if (m_bFullScreen && m_bWindowShown)
        LeaveFullScreen();
    if (!m_graph || !m_window)
        return S_OK;
    int width = 0;
    int height = 0;
    const HRESULT hr = m_graph->GetVideoSize(&width, &height);
    if (hr == E_NOINTERFACE)
        return S_OK;
    if (FAILED(hr) || divider == 0)
        return FAILED(hr) ? hr : E_INVALIDARG;
    width = width * multiplier / divider;
    height = height * multiplier / divider;
    // The window manager adds the frame and caption around this client size.
    m_window->resize(width, height);
    m_video->setGeometry(0, 0, width, height);
    return S_OK;
}

void CVcdCore::Play()
{
    if (!m_graph)
        return;
    if (m_psCurrent == Stopped || m_psCurrent == Paused) {
        if (SUCCEEDED(m_graph->Run()))
            m_psCurrent = Running;
    }
    if (SUCCEEDED(m_graph->SetRate(1.0)))
        UpdateTitle();
}

void CVcdCore::Pause()
{
    if (!m_graph)
        return;
    if (m_psCurrent != Paused && m_psCurrent != Stopped) {
        if (SUCCEEDED(m_graph->Pause()))
            m_psCurrent = Paused;
    }
    UpdateTitle();
}

void CVcdCore::Stop()
{
    if (!m_graph)
        return;
    if (m_psCurrent == Paused || m_psCurrent == Running) {
        if (m_window)
            m_window->KillTimer(kCursorTimer);
        if (SUCCEEDED(m_graph->Stop())) {
            m_psCurrent = Stopped;
            m_graph->SetPositions(0, -1);
            // Paused at 0 shows the first frame; the state stays Stopped.
            m_graph->Pause();
        }
    }
    UpdateTitle();
}

HRESULT CVcdCore::Seek(REFERENCE_TIME t)
{
    if (!m_graph || FAILED(m_graph->QuerySeeking()))
        return E_NOINTERFACE;
    return m_graph->SetPositions(std::max<REFERENCE_TIME>(t, 0), -1);
}

void CVcdCore::OnPositionTimer()
{
    if (!m_graph || FAILED(m_graph->QuerySeeking()))
        return;
    m_graph->GetStopPosition(&m_llStopPosition);
    m_graph->GetCurrentPosition(&m_llCurrentPosition);
    PostToOwner(new QEvent(messages::PositionTick));
}

void CVcdCore::PostToOwner(QEvent *event)
{
    if (m_owner)
        QCoreApplication::postEvent(m_owner, event);
    else
        delete event;
}

void CVcdCore::HandleGraphEvent()
{
    if (!m_graph)
        return;
    long code = 0;
    std::intptr_t param1 = 0;
    std::intptr_t param2 = 0;
    while (m_graph && m_graph->GetEvent(&code, &param1, &param2) == S_OK) {
        if (code == media::EC_COMPLETE)
            Stop();
    }
}

void CVcdCore::UpdateTitle()
{
    if (!m_window)
        return;
    if (m_szMediaPath.empty()) {
        m_window->setWindowTitle(QStringLiteral("PREVIEW"));
        return;
    }
    const std::size_t slash = m_szMediaPath.find_last_of("\\/");
    const std::string name
        = slash == std::string::npos ? m_szMediaPath : m_szMediaPath.substr(slash + 1);
    const std::string title = name + " " + "" + " " + (m_psCurrent == Paused ? "(Paused)" : "");
    m_window->setWindowTitle(QString::fromStdString(title));
}

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
    m_window->StartTimer(kCursorTimer, kCursorTimerPeriod);
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

    m_window->KillTimer(kCursorTimer);
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

void CVcdCore::OnMenuCommand(int command)
{
    switch (command) {
    case ID_FULL_SCREEN:
        ToggleFullScreen();
        break;
    case ID_NORMAL_SIZE:
        InitVideoWindow(1, 1);
        break;
    case ID_PLAY:
        Play();
        break;
    case ID_PAUSE:
        Pause();
        break;
    case ID_STOP:
        Stop();
        break;
    case ID_CLOSE:
        if (m_window)
            m_window->close();
        break;
    default:
        break;
    }
}

void CVcdCore::OnWindowGeometryChanged()
{
    if (m_bWindowShown)
        PlaceVideo();
}

void CVcdCore::OnEscape()
{
    if (m_bFullScreen)
        ToggleFullScreen();
}

void CVcdCore::OnCloseRequested()
{
    PostToOwner(new messages::CommandEvent(kCloseCommand));
}
