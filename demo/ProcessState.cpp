#include "demo/ProcessState.h"

#include "effects/BitmapFont.h"
#include "effects/Draw2D.h"
#include "effects/ModelLoading.h"
#include "effects/VoxelGrid.h"
#include "engine/KGL2Lights.h"
#include "engine/KGL2Textures.h"
#include "engine/KGL2_3ds.h"
#include "engine/PairTextures.h"
#include "engine/Vectors.h"
#include "platform/Dialogs.h"
#include "platform/Interrupts.h"
#include "platform/KestoBASS.h"
#include "platform/KestoGL2.h"
#include "platform/KestoInput.h"
#include "platform/RenderTarget.h"
#include "platform/ScriptError.h"
#include "sync/TrackReports.h"

#include <algorithm>
#include <iterator>
#include <string>

void ResetProcessState() {
  RandomSeed = 0;
  TextureRegistry.clear();
  ResetTextureBookkeeping();
  ResetPairTextures();
  CurrentLight = TLightState();
  FreeModelLoader();

  ClearModelCache();

  VoxelAngles = VoxelOffset = TVec3{0, 0, 0};
  ResetBitmapFont();
  CameraRight = CameraUp = TVec3{0, 0, 0};

  ResetAudio();
  ResetRenderTarget();
  CurrentWindow = TRenderWindow();
  FullscreenActive = false;
  std::fill(std::begin(KeyTable), std::end(KeyTable), uint8_t{0});
  PresentedFrames = 0;
  Keyboard = nullptr;
  ResetErrorBoxes();
  ResetScriptErrors();
  ResetTrackReports();
  ResetInterrupts();
}
