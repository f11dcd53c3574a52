#include "render/render_thread_posix.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "settings/failure_line.h"

namespace kelvara {

namespace {

struct ThreadState {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

} // namespace

class RenderThread {
  public:
    std::thread thread;
    std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
};

void lowerThreadPriority(ThreadPriority threadPriority) {
    const int nice = niceForThreadPriority(threadPriority);
    if (nice == 0)
        return;
    // On Linux the nice value of a thread id applies to that thread alone.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (errno == 0 && setpriority(PRIO_PROCESS, tid, current + nice) != 0)
        reportFailure("setpriority(%d): %s", current + nice, std::strerror(errno));
}

uint32_t millisecondSeed() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

RenderThread* launchRenderThread(std::function<void()> body) {
    auto* handle = new RenderThread;
    try {
        handle->thread = std::thread([body = std::move(body), state = handle->state]() mutable {
            body();
            body = nullptr; // what it holds goes before the end is told
            std::lock_guard lock(state->mutex);
            state->done = true;
            state->ended.notify_all();
        });
    } catch (const std::system_error& e) {
        reportFailure("std::thread: %s", e.what());
        delete handle;
        return nullptr;
    }
    return handle;
}

bool joinRenderThread(RenderThread* thread, unsigned timeoutMs) {
    if (!thread)
        return true;
    bool done;
    {
        std::unique_lock lock(thread->state->mutex);
        done = thread->state->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                             [&] { return thread->state->done; });
    }
    if (done)
        thread->thread.join();
    else
        thread->thread.detach(); // it ends with the process; its state outlives this handle
    delete thread;
    return done;
}

} // namespace kelvara
