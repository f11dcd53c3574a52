// The frame pacer's sleep on Windows: a high-resolution waitable timer (Windows
// 10 1803 and later) set to the time left until the deadline. Where the system
// has no such timer, an ordinary one with the system timer's period lowered to
// 1 ms for the pacer's life; Sleep when no timer can be made at all.
// Limits: the deadline is on the performance counter's clock (platformNowMs),
// so the time left is computed just before the timer is set; a wake-up a
// fraction of a millisecond late is made good by the pacer's next deadline.
#include <windows.h>

#include <mmsystem.h>

#include <memory>

#include "render/frame_pacer.h"

namespace kelvara {

namespace {

// Not in every SDK's headers yet.
constexpr DWORD kCreateWaitableTimerHighResolution = 0x00000002;

class WaitableTimer {
  public:
    WaitableTimer() {
        handle_ =
            CreateWaitableTimerExW(nullptr, nullptr, kCreateWaitableTimerHighResolution, TIMER_ALL_ACCESS);
        if (handle_ == nullptr) {
            handle_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
            coarsePeriod_ = timeBeginPeriod(1) == TIMERR_NOERROR;
        }
    }
    ~WaitableTimer() {
        if (handle_ != nullptr)
            CloseHandle(handle_);
        if (coarsePeriod_)
            timeEndPeriod(1);
    }
    WaitableTimer(const WaitableTimer&) = delete;
    WaitableTimer& operator=(const WaitableTimer&) = delete;

    void sleepFor(double ms) {
        if (handle_ != nullptr) {
            LARGE_INTEGER due{};
            due.QuadPart = -static_cast<LONGLONG>(ms * 10000.0); // relative, in 100 ns units
            if (SetWaitableTimer(handle_, &due, 0, nullptr, nullptr, FALSE)) {
                WaitForSingleObject(handle_, INFINITE);
                return;
            }
        }
        Sleep(static_cast<DWORD>(ms));
    }

  private:
    HANDLE handle_ = nullptr;
    bool coarsePeriod_ = false;
};

} // namespace

SleepUntilMs makePreciseSleep() {
    std::shared_ptr<WaitableTimer> timer = std::make_shared<WaitableTimer>();
    return [timer](double deadlineMs) {
        const double left = deadlineMs - platformNowMs();
        if (left > 0.0)
            timer->sleepFor(left);
    };
}

} // namespace kelvara
