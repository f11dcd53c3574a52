#pragma once

// Windows-only pieces of the render thread's context set-up, declared for the
// Windows tests. Include only from *_win32.cpp files.

#include <windows.h>

#include <vector>

#include "render/render_thread.h"

namespace kelvara {

// The Windows thread priority of a step.
int win32ThreadPriority(ThreadPriority priority);

// A descriptor in the program's own terms, and a request in the descriptor's:
// the flags, pixel type, colour and depth bits; every other count, shift,
// layer type and mask of the request 0.
PixelFormatInfo pixelFormatFromDescriptor(const PIXELFORMATDESCRIPTOR& pfd);
PIXELFORMATDESCRIPTOR descriptorFor(const PixelFormatInfo& request);

// The request handed to ChoosePixelFormat when no format of the window
// qualifies: fallbackPixelFormat as a descriptor.
PIXELFORMATDESCRIPTOR fallbackPixelFormatDescriptor();

// The formats of `dc` in index order (element 0 is index 1), as the score
// sees them.
std::vector<PixelFormatInfo> describePixelFormats(HDC dc);

// Chooses the best format of `dc` by pixelFormatScore (lowest index among
// equals), or the fallback's closest match when none qualifies, and sets it.
// Returns the index set, 0 when even the fallback found nothing. A window's
// format can be set only once; later calls fail without changing it.
int selectPixelFormat(HDC dc);

} // namespace kelvara
