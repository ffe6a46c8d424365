#include "preview/PreviewWindow.h"

#include "app/WindowMessages.h"
#include "preview/VcdCore.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

CPreviewWindow::CPreviewWindow(CVcdCore *player)
    : m_player(player)
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}

void CPreviewWindow::StartTimer(int id, int milliseconds)
{
    (id == CVcdCore::kCursorTimer ? m_cursorTimer : m_positionTimer).start(milliseconds, this);
}

void CPreviewWindow::KillTimer(int id)
{
    (id == CVcdCore::kCursorTimer ? m_cursorTimer : m_positionTimer).stop();
}

bool CPreviewWindow::TimerActive(int id) const
{
    return (id == CVcdCore::kCursorTimer ? m_cursorTimer : m_positionTimer).isActive();
}

bool CPreviewWindow::event(QEvent *event)
{
    if (event->type() == messages::WM_GRAPHNOTIFY) {
        m_player->HandleGraphEvent();
        return true;
    }
    return QWidget::event(event);
}

void CPreviewWindow::closeEvent(QCloseEvent *event)
{
    // The main window closes the video, and the player with it.
    event->ignore();
    m_player->OnCloseRequested();
}

void CPreviewWindow::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        m_player->OnEscape();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void CPreviewWindow::mouseMoveEvent(QMouseEvent *event)
{
    m_player->OnMouseActivity();
    QWidget::mouseMoveEvent(event);
}

void CPreviewWindow::mouseReleaseEvent(QMouseEvent *event)
{
    m_player->OnMouseActivity();
    switch (event->button()) {
    case Qt::LeftButton:
        m_player->OnLeftClick();
        break;
    case Qt::RightButton:
        ShowPopupMenu(event->globalPosition().toPoint());
        m_player->m_nOwnerOnTop = 1;
        break;
    default:
        QWidget::mouseReleaseEvent(event);
        break;
    }
}

void CPreviewWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    m_player->OnWindowGeometryChanged();
}

void CPreviewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_player->OnWindowGeometryChanged();
}

void CPreviewWindow::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_positionTimer.timerId())
        m_player->OnPositionTimer();
    else if (event->timerId() == m_cursorTimer.timerId())
        m_player->OnCursorTimer();
    else
        QWidget::timerEvent(event);
}

std::unique_ptr<QMenu> CPreviewWindow::BuildPopupMenu()
{
    auto menu = std::make_unique<QMenu>(QStringLiteral("PREVIEW"), this);
    auto add = [&](const char *text, int command) {
        QAction *action = menu->addAction(QString::fromLatin1(text));
        action->setData(command);
        return action;
    };
    QAction *fullScreen = add("Full screen", CVcdCore::ID_FULL_SCREEN);
    fullScreen->setCheckable(true);
    fullScreen->setChecked(m_player->m_bFullScreen != 0);
    add("Normal size", CVcdCore::ID_NORMAL_SIZE);
    menu->addSeparator();
    QAction *play = add("Play", CVcdCore::ID_PLAY);
    QAction *pause = add("Pause", CVcdCore::ID_PAUSE);
    QAction *stop = add("Stop", CVcdCore::ID_STOP);
    menu->addSeparator();
    add("Close", CVcdCore::ID_CLOSE);

    switch (m_player->State()) {
    case Stopped:
        pause->setEnabled(false);
        stop->setEnabled(false);
        break;
    case Paused:
        pause->setEnabled(false);
        break;
    case Running:
        play->setEnabled(false);
        break;
    case Closed:
        break;
    }
    return menu;
}

void CPreviewWindow::ShowPopupMenu(const QPoint &globalPosition)
{
    std::unique_ptr<QMenu> menu = BuildPopupMenu();
    QAction *chosen = menu->exec(globalPosition);
    const int command = chosen ? chosen->data().toInt() : 0;
    menu.reset();
    if (command)
        m_player->OnMenuCommand(command);
}
