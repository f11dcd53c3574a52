#pragma once

// A stand-in for the OpenGL 1.1 and GLU entry points the scene uses. Linked into
// native tests instead of libGL: every call is appended to a log that tests read
// back, so a test can assert the exact calls a draw emits.

#include <cstddef>
#include <string>
#include <vector>

namespace kelvara::glrec {

struct Call {
    std::string name;
    std::vector<double> args; // every argument as a number; *v calls are expanded

    bool operator==(const Call&) const = default;
};

enum class Mode {
    Record, // keep every call
    Count,  // only count calls: for benchmarks, where the log would dominate
};

void setMode(Mode mode);
void reset(); // forget the log and the count; the texture limit back to 2048

// What glGetIntegerv(GL_MAX_TEXTURE_SIZE) answers.
void setMaxTextureSize(int size);
const std::vector<Call>& calls();
std::size_t callCount();

// Calls named `name`, in order.
std::vector<Call> callsNamed(const std::string& name);

// The pixel pointer of the last texture upload (glTexImage2D or
// gluBuild2DMipmaps), which the log cannot hold as a number; null after reset().
const void* lastUploadData();

// Human-readable form, for failure messages: "glVertex3fv(1, 2, 3)".
std::string toString(const Call& call);

} // namespace kelvara::glrec
