#include "recording_gl.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <initializer_list>

#ifndef APIENTRY
#define APIENTRY GLAPIENTRY
#endif

namespace kelvara::glrec {

namespace {

struct State {
    Mode mode = Mode::Record;
    std::vector<Call> log;
    std::size_t count = 0;
    GLuint nextTexture = 1;
    const void* lastUpload = nullptr;
    int maxTextureSize = 2048;
};

// Constant-initialised, so no guard on every call and no order-of-start issue.
constinit State gState;

inline State& state() { return gState; }

void rec(const char* name, std::initializer_list<double> args) {
    State& s = state();
    ++s.count;
    if (s.mode == Mode::Record)
        s.log.push_back(Call{name, std::vector<double>(args)});
}

void recv(const char* name, const GLfloat* v, int n, std::initializer_list<double> prefix = {}) {
    State& s = state();
    ++s.count;
    if (s.mode != Mode::Record)
        return;
    Call c{name, std::vector<double>(prefix)};
    for (int i = 0; i < n; ++i)
        c.args.push_back(v[i]);
    s.log.push_back(std::move(c));
}

} // namespace

void setMode(Mode mode) { state().mode = mode; }

void reset() {
    state().log.clear();
    state().count = 0;
    state().nextTexture = 1;
    state().lastUpload = nullptr;
    state().maxTextureSize = 2048;
}

void setMaxTextureSize(int size) { state().maxTextureSize = size; }

const std::vector<Call>& calls() { return state().log; }
std::size_t callCount() { return state().count; }

const void* lastUploadData() { return state().lastUpload; }

std::vector<Call> callsNamed(const std::string& name) {
    std::vector<Call> out;
    for (const Call& c : state().log)
        if (c.name == name)
            out.push_back(c);
    return out;
}

std::string toString(const Call& call) {
    std::string s = call.name + "(";
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.9g", call.args[i]);
        s += (i ? ", " : "");
        s += buf;
    }
    return s + ")";
}

} // namespace kelvara::glrec

using kelvara::glrec::rec;
using kelvara::glrec::recv;

extern "C" {

void APIENTRY glBegin(GLenum mode) { rec("glBegin", {double(mode)}); }
void APIENTRY glEnd() { rec("glEnd", {}); }
void APIENTRY glNormal3f(GLfloat x, GLfloat y, GLfloat z) { rec("glNormal3f", {x, y, z}); }
void APIENTRY glNormal3fv(const GLfloat* v) { recv("glNormal3fv", v, 3); }
void APIENTRY glTexCoord2f(GLfloat s, GLfloat t) { rec("glTexCoord2f", {s, t}); }
void APIENTRY glTexCoord2fv(const GLfloat* v) { recv("glTexCoord2fv", v, 2); }
void APIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z) { rec("glVertex3f", {x, y, z}); }
void APIENTRY glVertex3fv(const GLfloat* v) { recv("glVertex3fv", v, 3); }
void APIENTRY glVertex2f(GLfloat x, GLfloat y) { rec("glVertex2f", {x, y}); }
void APIENTRY glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { rec("glColor4f", {r, g, b, a}); }
void APIENTRY glColor3f(GLfloat r, GLfloat g, GLfloat b) { rec("glColor3f", {r, g, b}); }
void APIENTRY glPushMatrix() { rec("glPushMatrix", {}); }
void APIENTRY glPopMatrix() { rec("glPopMatrix", {}); }
void APIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) { rec("glTranslatef", {x, y, z}); }
void APIENTRY glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) { rec("glRotatef", {a, x, y, z}); }
void APIENTRY glScalef(GLfloat x, GLfloat y, GLfloat z) { rec("glScalef", {x, y, z}); }
void APIENTRY glLoadIdentity() { rec("glLoadIdentity", {}); }
void APIENTRY glMatrixMode(GLenum mode) { rec("glMatrixMode", {double(mode)}); }
void APIENTRY glClear(GLbitfield mask) { rec("glClear", {double(mask)}); }
void APIENTRY glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { rec("glClearColor", {r, g, b, a}); }
void APIENTRY glFlush() { rec("glFlush", {}); }
void APIENTRY glFinish() { rec("glFinish", {}); }
void APIENTRY glEnable(GLenum cap) { rec("glEnable", {double(cap)}); }
void APIENTRY glDisable(GLenum cap) { rec("glDisable", {double(cap)}); }
void APIENTRY glLightfv(GLenum light, GLenum pname, const GLfloat* v) {
    recv("glLightfv", v, 4, {double(light), double(pname)});
}
void APIENTRY glMaterialfv(GLenum face, GLenum pname, const GLfloat* v) {
    recv("glMaterialfv", v, pname == GL_SHININESS ? 1 : 4, {double(face), double(pname)});
}
void APIENTRY glMaterialf(GLenum face, GLenum pname, GLfloat v) {
    rec("glMaterialf", {double(face), double(pname), v});
}
void APIENTRY glColorMaterial(GLenum face, GLenum mode) { rec("glColorMaterial", {double(face), double(mode)}); }
void APIENTRY glShadeModel(GLenum mode) { rec("glShadeModel", {double(mode)}); }
void APIENTRY glPolygonMode(GLenum face, GLenum mode) { rec("glPolygonMode", {double(face), double(mode)}); }
void APIENTRY glCullFace(GLenum mode) { rec("glCullFace", {double(mode)}); }
void APIENTRY glFrontFace(GLenum mode) { rec("glFrontFace", {double(mode)}); }
void APIENTRY glViewport(GLint x, GLint y, GLsizei w, GLsizei h) { rec("glViewport", {double(x), double(y), double(w), double(h)}); }
void APIENTRY glScissor(GLint x, GLint y, GLsizei w, GLsizei h) { rec("glScissor", {double(x), double(y), double(w), double(h)}); }
void APIENTRY glHint(GLenum target, GLenum mode) { rec("glHint", {double(target), double(mode)}); }
void APIENTRY glGenTextures(GLsizei n, GLuint* names) {
    rec("glGenTextures", {double(n)});
    for (GLsizei i = 0; i < n; ++i)
        names[i] = kelvara::glrec::state().nextTexture++;
}
void APIENTRY glDeleteTextures(GLsizei n, const GLuint* names) {
    rec("glDeleteTextures", {double(n), n > 0 ? double(names[0]) : 0.0});
}
void APIENTRY glBindTexture(GLenum target, GLuint name) { rec("glBindTexture", {double(target), double(name)}); }
void APIENTRY glTexParameteri(GLenum target, GLenum pname, GLint v) {
    rec("glTexParameteri", {double(target), double(pname), double(v)});
}
void APIENTRY glTexEnvf(GLenum target, GLenum pname, GLfloat v) {
    rec("glTexEnvf", {double(target), double(pname), v});
}
void APIENTRY glTexEnvi(GLenum target, GLenum pname, GLint v) {
    rec("glTexEnvi", {double(target), double(pname), double(v)});
}
void APIENTRY glPixelStorei(GLenum pname, GLint v) { rec("glPixelStorei", {double(pname), double(v)}); }
void APIENTRY glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                             GLenum format, GLenum type, const GLvoid* pixels) {
    kelvara::glrec::state().lastUpload = pixels;
    rec("glTexImage2D", {double(target), double(level), double(internal), double(w), double(h), double(border),
                         double(format), double(type)});
}
GLenum APIENTRY glGetError() { return GL_NO_ERROR; }
void APIENTRY glGetIntegerv(GLenum pname, GLint* v) {
    rec("glGetIntegerv", {double(pname)});
    if (v)
        *v = pname == GL_MAX_TEXTURE_SIZE ? kelvara::glrec::state().maxTextureSize : 0;
}

void APIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    rec("gluPerspective", {fovy, aspect, zNear, zFar});
}
GLint APIENTRY gluBuild2DMipmaps(GLenum target, GLint components, GLsizei w, GLsizei h, GLenum format, GLenum type,
                                   const void* pixels) {
    kelvara::glrec::state().lastUpload = pixels;
    rec("gluBuild2DMipmaps", {double(target), double(components), double(w), double(h), double(format), double(type)});
    return 0;
}

} // extern "C"

#ifdef _WIN32
// MinGW's headers declare the GL entry points dllimport, so callers reach them
// through __imp_ pointers; give the stand-ins those pointers as well.
extern "C" {
#define KELVARA_IMP(fn) decltype(&fn) __imp_##fn = fn;
KELVARA_IMP(glBegin)
KELVARA_IMP(glEnd)
KELVARA_IMP(glNormal3f)
KELVARA_IMP(glNormal3fv)
KELVARA_IMP(glTexCoord2f)
KELVARA_IMP(glTexCoord2fv)
KELVARA_IMP(glVertex3f)
KELVARA_IMP(glVertex3fv)
KELVARA_IMP(glVertex2f)
KELVARA_IMP(glColor4f)
KELVARA_IMP(glColor3f)
KELVARA_IMP(glPushMatrix)
KELVARA_IMP(glPopMatrix)
KELVARA_IMP(glTranslatef)
KELVARA_IMP(glRotatef)
KELVARA_IMP(glScalef)
KELVARA_IMP(glLoadIdentity)
KELVARA_IMP(glMatrixMode)
KELVARA_IMP(glClear)
KELVARA_IMP(glClearColor)
KELVARA_IMP(glFlush)
KELVARA_IMP(glFinish)
KELVARA_IMP(glEnable)
KELVARA_IMP(glDisable)
KELVARA_IMP(glLightfv)
KELVARA_IMP(glMaterialfv)
KELVARA_IMP(glMaterialf)
KELVARA_IMP(glColorMaterial)
KELVARA_IMP(glShadeModel)
KELVARA_IMP(glPolygonMode)
KELVARA_IMP(glCullFace)
KELVARA_IMP(glFrontFace)
KELVARA_IMP(glViewport)
KELVARA_IMP(glScissor)
KELVARA_IMP(glHint)
KELVARA_IMP(glGenTextures)
KELVARA_IMP(glDeleteTextures)
KELVARA_IMP(glBindTexture)
KELVARA_IMP(glTexParameteri)
KELVARA_IMP(glTexEnvf)
KELVARA_IMP(glTexEnvi)
KELVARA_IMP(glPixelStorei)
KELVARA_IMP(glTexImage2D)
KELVARA_IMP(glGetIntegerv)
KELVARA_IMP(glGetError)
KELVARA_IMP(gluPerspective)
KELVARA_IMP(gluBuild2DMipmaps)
#undef KELVARA_IMP
}
#endif
