#include "preview/PreviewWindow.h"

#include "platform/WindowMessages.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace {

// A top-level plain widget would be a nameless filler to assistive technology; this one is a
// window named by its title.
QAccessibleInterface *AccessibleWindow(const QString &className, QObject *object)
{
    if (className != QLatin1String("CPreviewWindow") || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
}

} // namespace

CPreviewWindow::CPreviewWindow(PreviewWindowListener *listener)
    : m_listener(listener)
{
    static const bool accessible = [] {
        QAccessible::installFactory(AccessibleWindow);
        return true;
    }();
    (void)accessible;
    setObjectName(QStringLiteral("PreviewWindow"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setAcceptDrops(true);
}

namespace {

QStringList LocalFiles(const QMimeData *data)
{
    QStringList files;
    for (const QUrl &url : data ? data->urls() : QList<QUrl>())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            files << url.toLocalFile();
    return files;
}

} // namespace

void CPreviewWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CPreviewWindow::dropEvent(QDropEvent *event)
{
    if (m_listener->OnFilesDropped(LocalFiles(event->mimeData())))
        event->acceptProposedAction();
}

bool CPreviewWindow::event(QEvent *event)
{
    if (event->type() == messages::WM_GRAPHNOTIFY) {
        m_listener->OnGraphNotify();
        return true;
    }
    return QWidget::event(event);
}

void CPreviewWindow::closeEvent(QCloseEvent *event)
{
    // The main window closes the video, and the player with it.
    event->ignore();
    m_listener->OnCloseRequested();
}

void CPreviewWindow::keyPressEvent(QKeyEvent *event)
{
    // The keyboard's way to the pop-up menu, as desktops have it: the Menu key or Shift+F10.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Menu && modifiers == Qt::NoModifier)
        || (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        ShowPopupMenu(mapToGlobal(rect().center()));
        return;
    }
    if (!m_listener->OnKeyPress(event->key(), event->modifiers()))
        QWidget::keyPressEvent(event);
}

void CPreviewWindow::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        m_listener->OnEscape();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void CPreviewWindow::mouseMoveEvent(QMouseEvent *event)
{
    m_listener->OnMouseActivity();
    QWidget::mouseMoveEvent(event);
}

void CPreviewWindow::mouseReleaseEvent(QMouseEvent *event)
{
    m_listener->OnMouseActivity();
    switch (event->button()) {
    case Qt::LeftButton:
        m_listener->OnLeftClick();
        break;
    case Qt::RightButton:
        ShowPopupMenu(event->globalPosition().toPoint());
        break;
    default:
        QWidget::mouseReleaseEvent(event);
        break;
    }
}

void CPreviewWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    m_listener->OnWindowGeometryChanged();
}

void CPreviewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_listener->OnWindowGeometryChanged();
}

std::unique_ptr<QMenu> CPreviewWindow::BuildPopupMenu()
{
    auto menu = std::make_unique<QMenu>(QStringLiteral("PREVIEW"), this);
    auto add = [&](const char *text, int command) {
        QAction *action = menu->addAction(QString::fromLatin1(text));
        action->setData(command);
        return action;
    };
    QAction *fullScreen = add("Full screen", ID_FULL_SCREEN);
    fullScreen->setCheckable(true);
    const PreviewMenuState state = m_listener->MenuState();
    fullScreen->setChecked(state.fullScreen);
    add("Normal size", ID_NORMAL_SIZE);
    menu->addSeparator();
    QAction *play = add("Play", ID_PLAY);
    QAction *pause = add("Pause", ID_PAUSE);
    QAction *stop = add("Stop", ID_STOP);
    menu->addSeparator();
    add("Close", ID_CLOSE);

    play->setEnabled(state.canPlay);
    pause->setEnabled(state.canPause);
    stop->setEnabled(state.canStop);
    return menu;
}

void CPreviewWindow::ShowPopupMenu(const QPoint &globalPosition)
{
    std::unique_ptr<QMenu> menu = BuildPopupMenu();
    QAction *chosen = menu->exec(globalPosition);
    const int command = chosen ? chosen->data().toInt() : 0;
    menu.reset();
    m_listener->OnPopupMenuClosed(command);
}
