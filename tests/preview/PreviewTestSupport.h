#pragma once

#include "app/AppTestSupport.h"
#include "platform/Status.h"
#include "platform/WindowMessages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

// Runs the event loop until done() holds or the time is up; generous, since CI shares cores.
inline bool WaitUntil(const std::function<bool()> &done, int milliseconds = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Stands in for the main window: records what the player posts to it.
class OwnerWindow : public QWidget
{
public:
    std::function<void()> onTick;
    int ticks = 0;
    std::vector<int> commands;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == messages::PositionTick) {
            ++ticks;
            if (onTick)
                onTick();
            return true;
        }
        if (event->type() == messages::WM_COMMAND) {
            commands.push_back(static_cast<messages::CommandEvent *>(event)->Id());
            return true;
        }
        return QWidget::event(event);
    }
};
