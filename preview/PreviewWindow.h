#pragma once

#include <QStringList>
#include <QWidget>

#include <memory>

class QMenu;

// What the pop-up menu shows: the full-screen check and which transport items are offered.
struct PreviewMenuState
{
    bool fullScreen = false;
    bool canPlay = true;
    bool canPause = true;
    bool canStop = true;
};

// What happens to the preview window, as its player hears it.
class PreviewWindowListener
{
public:
    virtual ~PreviewWindowListener() = default;
    // Graph events were posted to the window.
    virtual void OnGraphNotify() = 0;
    virtual void OnCloseRequested() = 0;
    virtual void OnEscape() = 0;
    virtual void OnMouseActivity() = 0;
    virtual void OnLeftClick() = 0;
    virtual void OnWindowGeometryChanged() = 0;
    // A command chosen from the pop-up menu (0 when none was chosen), after the menu closed.
    virtual void OnPopupMenuClosed(int command) = 0;
    virtual PreviewMenuState MenuState() const = 0;
    // Local files dropped on the window; true when they were taken.
    virtual bool OnFilesDropped(const QStringList &files) = 0;
    // A key pressed in the window; true when it was taken.
    virtual bool OnKeyPress(int key, Qt::KeyboardModifiers modifiers) = 0;
};

// The preview window: a top-level window that tells its listener what happens to it.
class CPreviewWindow : public QWidget
{
    Q_OBJECT
public:
    // Commands of the pop-up menu.
    enum MenuCommand {
        ID_FULL_SCREEN = 32771,
        ID_NORMAL_SIZE = 32772,
        ID_PLAY = 32773,
        ID_PAUSE = 32774,
        ID_STOP = 32775,
        ID_CLOSE = 32776,
    };

    explicit CPreviewWindow(PreviewWindowListener *listener);

    // The pop-up menu as it would show now: check mark and greyed items follow the listener.
    std::unique_ptr<QMenu> BuildPopupMenu();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ShowPopupMenu(const QPoint &globalPosition);

    PreviewWindowListener *m_listener;
};
