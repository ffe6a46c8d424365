#include "preview/VcdCore.h"

#include "job/InputFile.h"
#include "media/playback/PlaybackGraph.h"
#include "platform/GraphNotify.h"
#include "platform/MessageBoxes.h"
#include "platform/WindowMessages.h"
#include "preview/PreviewGeometry.h"
#include "preview/PreviewWindow.h"
#include "preview/VideoWidget.h"
#include "resources/Artwork.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cstdio>

namespace {

const char kCannotPlay[] = "Cannot play the file.  The file is either corrupt or\nthe player does "
                           "not support the format you are trying to play.\nYou need to install "
                           "appropriate decoders.";

std::string Formatted(const char *format, HRESULT hr)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned>(hr));
    return buffer;
}

} // namespace

CVcdCore::CVcdCore(QWidget *owner)
    : m_owner(owner)
{
    QObject::connect(&m_positionTimer, &QTimer::timeout, [this] { OnPositionTimer(); });
    QObject::connect(&m_cursorTimer, &QTimer::timeout, [this] { OnCursorTimer(); });
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

    const QRect workArea = WorkArea(m_owner ? m_owner.data() : m_window);
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

    // Control, events, the video window and audio come with every built graph; only seeking
    // depends on what was rendered.
    hr = m_graph->QuerySeeking();
    if (FAILED(hr))
        return Fail(Formatted(
            "FAILED(hr=0x%x) in pGB->QueryInterface(IID_IMediaSeeking, (void **)&pMS)\n", hr));

    // A rendered graph answers S_OK or E_NOINTERFACE (no video stream), nothing else.
    m_bNoVideo = m_graph->QueryBasicVideo() == E_NOINTERFACE ? 1 : 0;

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
    m_positionTimer.start(kPositionTimerPeriod);
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
        m_positionTimer.stop();
        m_cursorTimer.stop();
        m_video = nullptr;
        m_bWindowExists = false;
    }

    if (m_graph)
        m_graph->SetNotifyCallback(nullptr);
    m_notifier.reset();
    m_graph.reset();

    m_szMediaPath.clear();
    m_bSourceLost = false;
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
    // The window manager adds the frame and caption around this client size; a picture
    // larger than the screen is shown smaller rather than off its edge.
    m_wantedClientSize = QSize(width, height);
    PlaceWindows(m_wantedClientSize);
    m_bFitPending = !m_window->isVisible();
    return S_OK;
}

QRect CVcdCore::WorkArea(const QWidget *window)
{
    QScreen *screen = window ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 640, 480);
}

bool CVcdCore::Framed(const QWidget *window)
{
    return window->frameGeometry() != window->geometry();
}

QMargins CVcdCore::FrameMargins(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    const QMargins known(client.left() - frame.left(), client.top() - frame.top(),
                         frame.right() - client.right(), frame.bottom() - client.bottom());
    if (Framed(window) || (window->isVisible() && window->testAttribute(Qt::WA_Mapped)))
        return known;
    // Not framed yet: reserve a caption and borders as the style would draw them.
    const QStyle *style = window->style();
    const int border = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
    const int caption = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return QMargins(border, caption + border, border, border);
}

bool CVcdCore::PlaceWindows()
{
    if (!m_window || m_bFullScreen)
        return false;
    const bool ours = !m_fittedSize.isValid() || m_window->size() == m_fittedSize;
    PlaceWindows(ours ? m_wantedClientSize : m_window->size());
    return true;
}

void CVcdCore::PlaceWindows(const QSize &picture)
{
    const QMargins margins = FrameMargins(m_window);
    // A hidden owner takes no room; the owner is moved but never resized here.
    QWidget *owner = m_owner && m_owner->isVisible() ? m_owner.data() : nullptr;
    QRect ownerFrame;
    if (owner)
        ownerFrame = owner->geometry().marginsAdded(FrameMargins(owner));
    const preview::WindowLayout layout
        = preview::PlaceWindows(WorkArea(owner ? owner : static_cast<QWidget *>(m_window)),
                                ownerFrame, picture, margins, m_window->frameGeometry().topLeft());
    if (!layout.previewClient.isNull()) {
        const QRect client = layout.previewClient;
        m_fittedSize = client.size();
        m_window->resize(client.size());
        m_window->move(client.topLeft() - QPoint(margins.left(), margins.top()));
        m_video->setGeometry(0, 0, client.width(), client.height());
    }
    if (owner && layout.mainFrame.topLeft() != ownerFrame.topLeft())
        owner->move(layout.mainFrame.topLeft());
}

bool CVcdCore::CheckSource()
{
    if (!m_bSourceLost && (!m_graph || InspectInputFile(m_szMediaPath).ok))
        return true;
    LoseSource();
    return false;
}

void CVcdCore::LoseSource()
{
    // A removed or renamed file still plays from what is open, and a medium that went stops
    // the graph with an error; either way nothing more of it can be shown or converted.
    m_bSourceLost = true;
    m_cursorTimer.stop();
    if (m_graph) {
        m_graph->SetNotifyCallback(nullptr);
        if (m_notifier)
            m_notifier->Detach();
        m_notifier.reset();
        m_graph.reset();
    }
    m_psCurrent = Stopped;
    UpdateTitle();
    if (m_sourceLostHandler)
        m_sourceLostHandler(m_szMediaPath);
}

void CVcdCore::Play()
{
    if (!CheckSource() || !m_graph)
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
    // Stopping goes back to the first frame, which a file that went cannot give.
    if (!CheckSource() || !m_graph)
        return;
    if (m_psCurrent == Paused || m_psCurrent == Running) {
        m_cursorTimer.stop();
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
    if (!CheckSource())
        return E_FAIL;
    if (!m_graph || FAILED(m_graph->QuerySeeking()))
        return E_NOINTERFACE;
    return m_graph->SetPositions(std::max<REFERENCE_TIME>(t, 0), -1);
}

HRESULT CVcdCore::SeekKeyFrame(REFERENCE_TIME t)
{
    if (!CheckSource())
        return E_FAIL;
    if (!m_graph || FAILED(m_graph->QuerySeeking()))
        return E_NOINTERFACE;
    return m_graph->SeekKeyFrame(std::max<REFERENCE_TIME>(t, 0));
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
        if (code == media::EC_COMPLETE) {
            Stop();
        } else if (code == media::EC_ERRORABORT) {
            // A graph that failed shows nothing more; Stop shows the first frame again when
            // the file is still there.
            Stop();
        }
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

void CVcdCore::OnPopupMenuClosed(int command)
{
    if (command)
        OnMenuCommand(command);
    m_nOwnerOnTop = 1;
}

PreviewMenuState CVcdCore::MenuState() const
{
    PreviewMenuState state;
    state.fullScreen = m_bFullScreen != 0;
    state.canPlay = m_psCurrent != Running;
    state.canPause = m_psCurrent != Stopped && m_psCurrent != Paused;
    state.canStop = m_psCurrent != Stopped;
    return state;
}

bool CVcdCore::TimerActive(int id) const
{
    return (id == kCursorTimer ? m_cursorTimer : m_positionTimer).isActive();
}

void CVcdCore::OnWindowGeometryChanged()
{
    // The frame the window manager put around the first showing is known only now.
    // A size someone else gave the window since is left alone.
    if (m_bFitPending && !m_bFullScreen && m_window && m_window->isVisible()
        && m_window->size() == m_fittedSize && Framed(m_window)) {
        m_bFitPending = false;
        PlaceWindows(m_wantedClientSize);
    }
    if (m_bWindowShown)
        PlaceVideo();
}

void CVcdCore::OnEscape()
{
    if (m_bFullScreen)
        ToggleFullScreen();
}

double CVcdCore::FrameRate() const
{
    double seconds = 0;
    if (m_graph && SUCCEEDED(m_graph->GetAvgTimePerFrame(&seconds)) && seconds > 0)
        return 1.0 / seconds;
    return 0;
}

void CVcdCore::RefreshPosition()
{
    if (!m_graph || FAILED(m_graph->QuerySeeking()))
        return;
    m_graph->GetStopPosition(&m_llStopPosition);
    m_graph->GetCurrentPosition(&m_llCurrentPosition);
}

bool CVcdCore::OnKeyPress(int key, Qt::KeyboardModifiers modifiers)
{
    return m_keyHandler && m_keyHandler(key, modifiers);
}

bool CVcdCore::OnFilesDropped(const QStringList &files)
{
    return m_dropHandler && m_dropHandler(files);
}

void CVcdCore::OnCloseRequested()
{
    PostToOwner(new messages::CommandEvent(kCloseCommand));
}
