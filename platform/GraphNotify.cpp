#include "platform/GraphNotify.h"

#include "platform/WindowMessages.h"

#include <QCoreApplication>
#include <QEvent>

CGraphNotifier::CGraphNotifier(QObject *receiver)
    : m_target(std::make_shared<Target>())
{
    m_target->receiver = receiver;
}

CGraphNotifier::~CGraphNotifier()
{
    Detach();
}

std::function<void()> CGraphNotifier::Callback() const
{
    return [target = m_target] {
        // Held while posting, so Detach cannot return while a post to the receiver is under way.
        std::lock_guard lock(target->mutex);
        if (target->receiver)
            QCoreApplication::postEvent(target->receiver, new QEvent(messages::WM_GRAPHNOTIFY));
    };
}

void CGraphNotifier::Detach()
{
    std::lock_guard lock(m_target->mutex);
    m_target->receiver = nullptr;
}
