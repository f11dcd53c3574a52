#pragma once

// What every render thread of the native build does the same way, whichever
// GL it draws with (GLX, EGL). POSIX builds only.
#include <cstdint>
#include <functional>

#include "render/render_host.h"

namespace kelvara {

// Lowers the calling thread's priority for a step of the Priority table's
// thread column (nice; an unprivileged process cannot raise it).
void lowerThreadPriority(ThreadPriority threadPriority);

// The render loop's seed: the millisecond clock.
uint32_t millisecondSeed();

// Runs `body` on a thread of its own, which joinRenderThread waits for. Null,
// the reason told, when no thread could start.
RenderThread* launchRenderThread(std::function<void()> body);

} // namespace kelvara
