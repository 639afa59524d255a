#include "transfer/qt/GuiWakeUp.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstdint>

namespace quorlin {

GuiWakeUp::GuiWakeUp(QObject* parent) : QObject(parent), m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &GuiWakeUp::OnActivated);
}

GuiWakeUp::~GuiWakeUp() {
    m_notifier.reset();
    if (m_fd >= 0) ::close(m_fd);
}

void GuiWakeUp::Signal() {
    if (m_fd < 0) return;
    const std::uint64_t one = 1;
    // Cannot fail short of the counter's overflow, which leaves it readable.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void GuiWakeUp::OnActivated() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(m_fd, &count, sizeof count);
    emit woken();
}

}  // namespace quorlin
