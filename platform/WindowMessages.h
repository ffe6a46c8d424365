#pragma once

#include <QEvent>

// Posted events standing in for the window messages the parts of the program send each other.
// Their numbers keep the message numbers so traces read the same.
namespace messages {

constexpr int WM_USER = 0x0400;
// The preview player's one-second position report to the main window.
constexpr QEvent::Type PositionTick = static_cast<QEvent::Type>(QEvent::User + WM_USER + 3);
// Events are queued in a graph; the receiver drains them with zero wait.
constexpr QEvent::Type WM_GRAPHNOTIFY = static_cast<QEvent::Type>(QEvent::User + WM_USER + 13);
// A command posted to a window as its button or menu item would send it.
constexpr QEvent::Type WM_COMMAND = static_cast<QEvent::Type>(QEvent::User + 0x0111);

class CommandEvent : public QEvent
{
public:
    explicit CommandEvent(int id)
        : QEvent(WM_COMMAND)
        , m_id(id)
    {
    }
    int Id() const { return m_id; }

private:
    int m_id;
};

} // namespace messages
