#pragma once
// Hands an update from a worker or timer thread to the thread that owns a widget, and waits
// until that thread has run it; the wait gives up as soon as `abandon` says so, so the owner
// can stop the worker without both waiting for each other.

#include <functional>

class QObject;

// The caller must not hold the bus lock: the receiver's thread may itself be waiting for
// that lock (a command, "关闭"), and would then never run the update. A poll tick reads under
// the lock, releases it, and only then hands its texts over.
//
// True when the update ran, false when the wait was abandoned (the update may still run
// later, on the receiver's thread, as long as the receiver exists).
bool HandToUi(QObject* receiver, std::function<void()> update,
              const std::function<bool()>& abandon);
