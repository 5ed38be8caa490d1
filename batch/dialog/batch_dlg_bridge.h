#pragma once

#include <QObject>
#include <atomic>
#include <functional>

// Carries an engine's "something changed" from any thread to the GUI thread.
// post() never waits: it queues at most one call of the handler on the GUI
// thread (later posts fold into it), and the handler then reads everything
// that changed from the engine. detach() (GUI thread) makes queued calls do
// nothing, so a closed dialog gets no late notification; deleting the object
// drops them as well.
class QueuedWakeup : public QObject {
    Q_OBJECT
public:
    explicit QueuedWakeup(std::function<void()> handler, QObject* parent = nullptr);

    void post();
    void detach() { m_handler = nullptr; }

private:
    void deliver();

    std::function<void()> m_handler;  // GUI thread only
    std::atomic<bool> m_pending{false};
};
