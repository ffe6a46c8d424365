#include "app/GraphNotify.h"

#include "app/WindowMessages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

std::function<void()> GraphNotifyPoster(QObject *receiver)
{
    return
        [receiver] { QCoreApplication::postEvent(receiver, new QEvent(messages::WM_GRAPHNOTIFY)); };
}
