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

} // namespace messages
