#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>

// Runs action on the first modal dialog of type T that opens while the caller's code runs
// (the dialog's exec() loop delivers the timer). Polls with a bounded count, so a dialog that
// never opens leaves `seen` false instead of hanging the test.
template<typename T>
class ModalDriver
{
public:
    explicit ModalDriver(std::function<void(T *)> action)
        : m_action(std::move(action))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
    }

    bool seen = false;
    int polls = 0;

private:
    void Poll()
    {
        if (++polls > 1500) {
            m_timer.stop();
            return;
        }
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        m_timer.stop();
        seen = true;
        m_action(dialog);
    }

    std::function<void(T *)> m_action;
    QTimer m_timer;
};
