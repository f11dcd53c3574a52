#pragma once

// The one place the OpenGL 1.1 and GLU headers are included. Portable code uses
// this header, never a window-system header. MinGW's <GL/gl.h> brings its own
// calling-convention macros, so no <windows.h> is needed here.
#include <GL/gl.h>
#include <GL/glu.h>

#ifndef GL_BGR_EXT
#define GL_BGR_EXT 0x80E0
#endif
