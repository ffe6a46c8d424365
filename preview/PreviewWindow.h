#pragma once

#include <QBasicTimer>
#include <QWidget>

#include <memory>

class CVcdCore;
class QMenu;

// The preview window: a top-level window that hands what happens to it to its player.
class CPreviewWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CPreviewWindow(CVcdCore *player);

    void StartTimer(int id, int milliseconds);
    void KillTimer(int id);
    bool TimerActive(int id) const;

    // The pop-up menu as it would show now: check mark and greyed items follow the player.
    std::unique_ptr<QMenu> BuildPopupMenu();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void ShowPopupMenu(const QPoint &globalPosition);

    CVcdCore *m_player;
    QBasicTimer m_cursorTimer;
    QBasicTimer m_positionTimer;
};
