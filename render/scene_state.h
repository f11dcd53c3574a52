#pragma once

#include <functional>

#include "scene/frame.h"
#include "settings/settings.h"

namespace kelvara {

// Builds the logo texture and leaves it bound. Supplied by whoever owns the
// picture resources; the scene state only decides when it runs.
using LogoTextureSetUp = std::function<void()>;

// Everything renderFrame takes for granted and never sets itself: the view
// mode's geometry, light 0, the camera's start, the projection, the fixed
// raster state and the material; last, when useOGL is set, the logo texture via
// `setUpLogo` (skipped when empty). Needs a current GL context; runs once per
// context, before the first frame. Shared by every program that draws the scene.
void initSceneState(Scene& scene, const Settings& settings, const LogoTextureSetUp& setUpLogo = {});

} // namespace kelvara
