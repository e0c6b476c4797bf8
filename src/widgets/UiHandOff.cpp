#include "widgets/UiHandOff.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

struct Delivery {
    std::mutex mutex;
    std::condition_variable done;
    bool ran = false;
};

}  // namespace

bool HandToUi(QObject* receiver, std::function<void()> update,
              const std::function<bool()>& abandon)
{
    if (receiver == nullptr)
        return false;
    if (receiver->thread() == QThread::currentThread()) {
        update();
        return true;
    }
    auto delivery = std::make_shared<Delivery>();
    QMetaObject::invokeMethod(
        receiver,
        [delivery, update = std::move(update)] {
            update();
            std::lock_guard lock(delivery->mutex);
            delivery->ran = true;
            delivery->done.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(delivery->mutex);
    while (!delivery->ran) {
        if (abandon && abandon())
            return false;
        delivery->done.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
}
