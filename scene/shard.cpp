#include "scene/shard.h"

#include "scene/gl.h"

namespace kelvara {

namespace {

const Vec3 kDamping(kShardDamping, kShardDamping, kShardDamping);

const Vec3 kNormalRight(1.0f, 0.0f, 0.0f);
const Vec3 kNormalLeft(-1.0f, 0.0f, 0.0f);
const Vec3 kNormalUp(0.0f, 1.0f, 0.0f);
const Vec3 kNormalDown(0.0f, -1.0f, 0.0f);
const Vec3 kNormalFront(0.0f, 0.0f, 1.0f);
const Vec3 kNormalBack(0.0f, 0.0f, -1.0f);

// Zeroes a component inside the open band (-threshold, threshold).
// Returns true when it did so.
bool settle(float& v, float threshold) {
    if (-threshold < v && v < threshold) {
        v = 0.0f;
        return true;
    }
    return false;
}

} // namespace

void Shard::update(float step, float restThreshold) {
    if (resting)
        return;

    // Damping is per call, not per second: how long a shard flies is counted in
    // frames, and the distance it covers grows with the step.
    velocity.set(velocity.x * kDamping.x, velocity.y * kDamping.y, velocity.z * kDamping.z);
    position.set(position.x + step * velocity.x, position.y + step * velocity.y,
                 position.z + step * velocity.z);
    rotation.set(rotation.x + step * spin.x, rotation.y + step * spin.y, rotation.z + step * spin.z);

    // The test looks at the damped velocity; spin is never damped, so the
    // tumbling ends only here.
    if (settle(velocity.x, restThreshold) && velocity.y == 0.0f && velocity.z == 0.0f)
        resting = true;
    if (settle(velocity.y, restThreshold) && velocity.x == 0.0f && velocity.z == 0.0f)
        resting = true;
    if (settle(velocity.z, restThreshold) && velocity.x == 0.0f && velocity.y == 0.0f)
        resting = true;
}

void Shard::draw() const {
    glPushMatrix();
    glTranslatef(position.x, position.y, position.z);
    glRotatef(rotation.x, 1.0f, 0.0f, 0.0f);
    glRotatef(rotation.y, 0.0f, 1.0f, 0.0f);
    glRotatef(rotation.z, 0.0f, 0.0f, 1.0f);

    const Vec3& f = frontCorner;
    const Vec3& k = backCorner;
    // c0..c3 lie in the front plane (z of frontCorner), c4..c7 in the back
    // plane, each counter-clockwise from the left-lower corner seen from +z.
    const Vec3 c[8] = {
        Vec3(f.x, f.y, f.z), Vec3(k.x, f.y, f.z), Vec3(k.x, k.y, f.z), Vec3(f.x, k.y, f.z),
        Vec3(f.x, f.y, k.z), Vec3(k.x, f.y, k.z), Vec3(k.x, k.y, k.z), Vec3(f.x, k.y, k.z),
    };
    const auto corner = [&](int t, int n) {
        glTexCoord2fv(texCorner[t]);
        glVertex3fv(c[n].data());
    };

    // Front face: each corner shows the picture corner it stands on.
    glBegin(GL_QUAD_STRIP);
    glNormal3fv(kNormalFront.data());
    corner(0, 0);
    corner(1, 1);
    corner(3, 3);
    corner(2, 2);
    glEnd();

    // Upper, back and lower faces as one strip wrapped round the x axis.
    glBegin(GL_QUAD_STRIP);
    glNormal3fv(kNormalUp.data());
    corner(3, 3);
    corner(2, 2);
    glNormal3fv(kNormalBack.data());
    corner(0, 7);
    corner(1, 6);
    glNormal3fv(kNormalDown.data());
    corner(3, 4);
    corner(2, 5);
    glNormal3fv(kNormalFront.data());
    corner(0, 0);
    corner(1, 1);
    glEnd();

    // Left and right faces.
    glBegin(GL_QUADS);
    glNormal3fv(kNormalLeft.data());
    corner(0, 3);
    corner(1, 7);
    corner(2, 4);
    corner(3, 0);
    glNormal3fv(kNormalRight.data());
    corner(0, 6);
    corner(1, 2);
    corner(2, 1);
    corner(3, 5);
    glEnd();

    glPopMatrix();
}

} // namespace kelvara
