#pragma once

namespace kelvara {

// The calling thread's connection to the window system, handed down by the
// thread that owns it (the host, the render thread) to the code that asks the
// server something on its behalf: an X11 Display* on X11, null where the
// platform has no connection to hand (Windows). Code below the hosts never
// opens a connection of its own: two connections opened and closed while
// another thread sets up its own once ended in a corrupted heap.
using NativeDisplay = void*;

} // namespace kelvara
