// The render thread on Windows: a thread of its own with a WGL context on the
// saver window's device context, driving runRenderLoop until renderRunning is
// cleared, then giving the context back.
//
// Provides startRenderThread / joinRenderThread (render/render_host.h) and the
// pixel-format choice (render/gl_context_win32.h).
//
// Limits: only the window's own pixel formats (DescribePixelFormat) are
// scored; no WGL_ARB_pixel_format attributes, no multisampling, no core
// profile: the scene needs an OpenGL 1.1 context and nothing more. The window
// should own its device context (CS_OWNDC), as the saver's class does, so the
// context stays valid for the thread's life. A thread that gets no context, or
// none that can be made current, says why in one line and tells the host
// (RenderThreadOptions::cannotDraw), which ends the run, rather than leave a
// black window until input. Vertical retrace waiting uses
// WGL_EXT_swap_control where the driver offers it; where it does not pace,
// frames are held to the primary display's refresh rate.

#include "render/gl_context_win32.h"

#include <windows.h>

#include <mmsystem.h>
#include <process.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "display/display_win32.h"
#include "render/render_host.h"
#include "scene/frame.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

constexpr UINT kPixelFormatDescriptorSize = sizeof(PIXELFORMATDESCRIPTOR); // 40 bytes

using SwapIntervalProc = BOOL(WINAPI*)(int);

// Asks for (or turns off) waiting on the vertical retrace; a driver without
// WGL_EXT_swap_control keeps its own default.
void setSwapInterval(bool waitForRetrace) {
    const PROC proc = wglGetProcAddress("wglSwapIntervalEXT");
    if (proc == nullptr)
        return;
    SwapIntervalProc swapInterval;
    static_assert(sizeof swapInterval == sizeof proc);
    std::memcpy(&swapInterval, &proc, sizeof proc);
    swapInterval(waitForRetrace ? 1 : 0);
}

// What both threads hold: the thread's arguments. Kept alive by whichever of
// the two lets go last, so a thread left running at a join timeout never
// reads freed memory.
struct ThreadState {
    HWND window = nullptr;
    Settings settings; // the thread's own record
    std::vector<MonitorDraw> monitors;
    RenderThreadOptions options;
};

void renderThreadBody(ThreadState& state) {
    HDC dc = GetDC(state.window);
    selectPixelFormat(dc);
    HGLRC context = wglCreateContext(dc);
    RECT client{};
    GetClientRect(state.window, &client);
    const char* refused = context == nullptr ? "wglCreateContext" : nullptr;
    if (refused == nullptr && !wglMakeCurrent(dc, context))
        refused = "wglMakeCurrent";
    if (refused != nullptr) {
        reportFailure("%s: refused (error %lu); nothing to draw with", refused, GetLastError());
        if (context != nullptr)
            wglDeleteContext(context);
        ReleaseDC(state.window, dc);
        giveUpDrawing(state.options);
        return;
    }
    setSwapInterval(state.options.waitForRetrace);

    RenderSurface surface;
    surface.width = client.right - client.left;
    surface.height = client.bottom - client.top;
    surface.swap = [dc] {
        if (!wglSwapLayerBuffers(dc, WGL_SWAP_MAIN_PLANE))
            SwapBuffers(dc);
    };
    // Held to the display's refresh where the retrace wait does not pace, and
    // kept from drawing while the window is told the display is off.
    FramePacer pacer(planPacing(state.options.maxFps, refreshRateHz(), state.options.waitForRetrace));
    surface.pacer = &pacer;
    std::unique_ptr<DisplaySleepGate> sleepGate;
    if (state.options.displayPower != nullptr)
        sleepGate = std::make_unique<DisplaySleepGate>(*state.options.displayPower, 0.0);
    surface.sleepGate = sleepGate.get();
    // The scenes live and go while the context is current (their textures
    // are released by the loop).
    runMonitorScenes(state.settings, state.monitors, surface, static_cast<uint32_t>(timeGetTime()),
                     renderRunning, state.options);

    ReleaseDC(state.window, dc);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
}

unsigned __stdcall renderThreadEntry(void* arg) {
    // The thread's own reference to the shared state, handed over by the starter.
    const std::unique_ptr<std::shared_ptr<ThreadState>> state(
        static_cast<std::shared_ptr<ThreadState>*>(arg));
    renderThreadBody(**state);
    return 0;
}

} // namespace

class RenderThread {
  public:
    HANDLE handle = nullptr;
    std::shared_ptr<ThreadState> state;
};

int win32ThreadPriority(ThreadPriority priority) {
    switch (priority) {
    case ThreadPriority::Lowest:
        return THREAD_PRIORITY_LOWEST;
    case ThreadPriority::BelowNormal:
        return THREAD_PRIORITY_BELOW_NORMAL;
    case ThreadPriority::Normal:
        break;
    case ThreadPriority::AboveNormal:
        return THREAD_PRIORITY_ABOVE_NORMAL;
    case ThreadPriority::Highest:
        return THREAD_PRIORITY_HIGHEST;
    case ThreadPriority::TimeCritical:
        return THREAD_PRIORITY_TIME_CRITICAL;
    }
    return THREAD_PRIORITY_NORMAL;
}

PixelFormatInfo pixelFormatFromDescriptor(const PIXELFORMATDESCRIPTOR& pfd) {
    PixelFormatInfo info;
    info.rgba = pfd.iPixelType == PFD_TYPE_RGBA;
    info.openGl = (pfd.dwFlags & PFD_SUPPORT_OPENGL) != 0;
    info.drawsToWindow = (pfd.dwFlags & PFD_DRAW_TO_WINDOW) != 0;
    info.doubleBuffered = (pfd.dwFlags & PFD_DOUBLEBUFFER) != 0;
    info.colorBits = pfd.cColorBits;
    info.depthBits = pfd.cDepthBits;
    // A generic format is the system's renderer; the driver may help it.
    if ((pfd.dwFlags & PFD_GENERIC_FORMAT) == 0)
        info.acceleration = FormatAcceleration::Full;
    else if ((pfd.dwFlags & PFD_GENERIC_ACCELERATED) != 0)
        info.acceleration = FormatAcceleration::Partial;
    else
        info.acceleration = FormatAcceleration::Software;
    return info;
}

PIXELFORMATDESCRIPTOR descriptorFor(const PixelFormatInfo& request) {
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = kPixelFormatDescriptorSize;
    pfd.nVersion = 1;
    if (request.drawsToWindow)
        pfd.dwFlags |= PFD_DRAW_TO_WINDOW;
    if (request.openGl)
        pfd.dwFlags |= PFD_SUPPORT_OPENGL;
    if (request.doubleBuffered)
        pfd.dwFlags |= PFD_DOUBLEBUFFER;
    if (request.acceleration == FormatAcceleration::Partial)
        pfd.dwFlags |= PFD_GENERIC_FORMAT | PFD_GENERIC_ACCELERATED;
    else if (request.acceleration == FormatAcceleration::Software)
        pfd.dwFlags |= PFD_GENERIC_FORMAT;
    pfd.iPixelType = request.rgba ? PFD_TYPE_RGBA : PFD_TYPE_COLORINDEX;
    pfd.cColorBits = static_cast<BYTE>(request.colorBits);
    pfd.cDepthBits = static_cast<BYTE>(request.depthBits);
    return pfd;
}

PIXELFORMATDESCRIPTOR fallbackPixelFormatDescriptor() {
    return descriptorFor(fallbackPixelFormat());
}

std::vector<PixelFormatInfo> describePixelFormats(HDC dc) {
    std::vector<PixelFormatInfo> formats;
    PIXELFORMATDESCRIPTOR pfd{};
    // The answer for any valid index is the number of formats: walk up to it,
    // and stop early at the first index that cannot be described.
    const int count = DescribePixelFormat(dc, 1, kPixelFormatDescriptorSize, &pfd);
    for (int index = 1; index <= count; ++index) {
        if (DescribePixelFormat(dc, index, kPixelFormatDescriptorSize, &pfd) == 0)
            break;
        formats.push_back(pixelFormatFromDescriptor(pfd));
    }
    return formats;
}

int selectPixelFormat(HDC dc) {
    PIXELFORMATDESCRIPTOR pfd{};
    int index = bestPixelFormat(describePixelFormats(dc));
    if (index != 0) {
        DescribePixelFormat(dc, index, kPixelFormatDescriptorSize, &pfd);
    } else {
        pfd = fallbackPixelFormatDescriptor();
        index = ChoosePixelFormat(dc, &pfd);
    }
    if (index != 0)
        SetPixelFormat(dc, index, &pfd);
    return index;
}

RenderThread* startRenderThread(const DrawTarget& target, const Settings& settings,
                                std::vector<MonitorDraw> monitors, ThreadPriority threadPriority,
                                const RenderThreadOptions& options) {
    std::unique_ptr<RenderThread> thread;
    std::unique_ptr<std::shared_ptr<ThreadState>> threadReference;
    try {
        thread = std::make_unique<RenderThread>();
        thread->state = std::make_shared<ThreadState>();
        thread->state->window = reinterpret_cast<HWND>(target.window);
        thread->state->settings = settings;
        thread->state->monitors = std::move(monitors);
        thread->state->options = options;
        threadReference = std::make_unique<std::shared_ptr<ThreadState>>(thread->state);
    } catch (const std::bad_alloc&) {
        reportFailure("no memory for the render thread; nothing to draw with");
        return nullptr;
    }

    // Started suspended so the priority holds from the first instruction.
    const uintptr_t handle =
        _beginthreadex(nullptr, 0, renderThreadEntry, threadReference.get(), CREATE_SUSPENDED, nullptr);
    if (handle == 0) {
        reportFailure("_beginthreadex: %s; nothing to draw with", std::strerror(errno));
        return nullptr;
    }
    threadReference.release(); // the thread owns it now
    thread->handle = reinterpret_cast<HANDLE>(handle);
    SetThreadPriority(thread->handle, win32ThreadPriority(threadPriority));
    ResumeThread(thread->handle);
    return thread.release();
}

bool joinRenderThread(RenderThread* thread, unsigned timeoutMs) {
    if (thread == nullptr)
        return true;
    const bool ended = WaitForSingleObject(thread->handle, timeoutMs) == WAIT_OBJECT_0;
    // Closing the handle does not stop a thread still running; it keeps its
    // own reference to the shared state and ends with the process.
    CloseHandle(thread->handle);
    delete thread;
    return ended;
}

} // namespace kelvara
