#pragma once

#include <functional>

class QObject;

// Graph events reach a window as a posted WM_GRAPHNOTIFY: the callback may run on any streaming
// thread and only posts; the window drains the graph's events on its own thread.
std::function<void()> GraphNotifyPoster(QObject *receiver);
