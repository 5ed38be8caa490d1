#include "batch/dialog/batch_dlg_bridge.h"

QueuedWakeup::QueuedWakeup(std::function<void()> handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {}

void QueuedWakeup::post() {
    if (m_pending.exchange(true)) return;
    QMetaObject::invokeMethod(this, [this] { deliver(); }, Qt::QueuedConnection);
}

void QueuedWakeup::deliver() {
    // Cleared first: whatever an engine changes from now on posts again.
    m_pending.store(false);
    // A copy, because the handler may open a nested event loop in which the
    // dialog closes and detaches this object.
    std::function<void()> handler = m_handler;
    if (handler) handler();
}
