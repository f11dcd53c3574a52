#pragma once

// What every render thread of the native build does the same way, whichever
// GL it draws with (GLX, EGL). POSIX builds only.
#include <cstdint>
#include <functional>

#include "render/render_host.h"

namespace kelvara {

// Lowers the calling thread's priority for a step of the Priority table's
// thread column (nice; an unprivileged process cannot raise it).
void lowerThreadPriority(int threadPriority);

// The render loop's seed: the millisecond clock.
uint32_t millisecondSeed();

// A thread that has no context to draw with tells the host, which ends the
// run; a host that cannot be told gets a thread that waits for the run's end.
void giveUp(const RenderThreadOptions& options);

// Runs `body` on a thread of its own, which joinRenderThread waits for. Null,
// the reason told, when no thread could start.
RenderThread* launchRenderThread(std::function<void()> body);

} // namespace kelvara
