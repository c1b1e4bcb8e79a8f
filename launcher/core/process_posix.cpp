// Host stand-in of the event, so pure code that takes the panel lock runs natively.
#include "launcher/core/process.h"

#include <condition_variable>
#include <mutex>
#include <new>

namespace {
struct HostEvent {
  std::mutex lock;
  std::condition_variable changed;
  bool signalled = true;
};
}  // namespace

bool CEvent::Create() {
  Close();
  m_handle = new (std::nothrow) HostEvent;
  return m_handle != nullptr;
}

void CEvent::Wait() {
  auto* event = static_cast<HostEvent*>(m_handle);
  if (event == nullptr) return;
  std::unique_lock<std::mutex> guard(event->lock);
  event->changed.wait(guard, [event] { return event->signalled; });
  event->signalled = false;
}

void CEvent::Set() {
  auto* event = static_cast<HostEvent*>(m_handle);
  if (event == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(event->lock);
    event->signalled = true;
  }
  event->changed.notify_one();
}

void CEvent::Close() {
  delete static_cast<HostEvent*>(m_handle);
  m_handle = nullptr;
}
