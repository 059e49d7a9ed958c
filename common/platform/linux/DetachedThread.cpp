#include "platform/DetachedThread.h"

#include <cstring>
#include <memory>
#include <pthread.h>

namespace Platform {

bool StartDetachedThread(size_t stackSize, std::function<void()> run, std::string& reason)
{
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result == 0) {
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        result = pthread_attr_setstacksize(&attributes, stackSize);
        auto start = std::make_unique<std::function<void()>>(std::move(run));
        if (result == 0) {
            pthread_t thread;
            result = pthread_create(
                &thread, &attributes,
                [](void* argument) -> void* {
                    const std::unique_ptr<std::function<void()>> taken(static_cast<std::function<void()>*>(argument));
                    (*taken)();
                    return nullptr;
                },
                start.get());
        }
        pthread_attr_destroy(&attributes);
        if (result == 0) {
            start.release(); // the thread owns it now
            return true;
        }
    }
    reason = std::strerror(result);
    return false;
}

} // namespace Platform
