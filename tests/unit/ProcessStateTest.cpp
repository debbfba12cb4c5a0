// One reset puts the process-wide state back as a fresh process has it (the test binaries call
// it before every test; here it is called between the steps of one test).
#include "common/TestAudio.h"
#include "demo/Frame.h"
#include "demo/ProcessState.h"
#include "effects/VoxelGrid.h"
#include "engine/KGL2Lights.h"
#include "engine/KGL2Textures.h"
#include "engine/KGL2_3ds.h"
#include "engine/Vectors.h"
#include "platform/Dialogs.h"
#include "platform/KestoBASS.h"
#include "platform/KestoGL2.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

TEST(ProcessState, OneResetGivesEveryModuleItsStartingState) {
  // Draws of a fresh process.
  ResetProcessState();
  const double first = UniformRandom(), second = UniformRandom();

  const std::string music = MakeTempFolder() + "/music.wav";
  std::string error;
  ASSERT_TRUE(WriteAudioFile(music, MakeClickTrack(8000, 1, 1.0), TAudioFormat::Wav, error));
  ASSERT_TRUE(InitAudio(nullptr));
  EXPECT_EQ(OpenStream(music), 1u);
  EXPECT_EQ(OpenStream(music), 2u);
  QuitRequested = true;
  BarTime = DemoTime = 3.0f;
  SpectrumData[17] = 0.5f;
  RegisterTexture("a.bmp", 7);
  CurrentLight.Light = GL_LIGHT3;
  CreateModelLoader();
  VoxelAngles = TVec3{10, 20, 30};
  CurrentWindow.Width = 1234;
  KeyTable[27] = 1;
  ShowErrorBox("Error", "an error before the reset");

  ResetProcessState();
  EXPECT_FALSE(QuitRequested);
  EXPECT_EQ(BarTime, 0.0f);
  EXPECT_EQ(DemoTime, 0.0f);
  EXPECT_EQ(SpectrumData[17], 0.0f);
  EXPECT_EQ(UniformRandom(), first);
  EXPECT_EQ(UniformRandom(), second);
  EXPECT_TRUE(TextureRegistry.empty());
  EXPECT_EQ(FindRegisteredTexture("a.bmp"), NoTexture);
  EXPECT_EQ(CurrentLight.Light, 0u);
  EXPECT_EQ(ModelLoader, nullptr);
  EXPECT_EQ(VoxelAngles.X, 0.0f);
  EXPECT_EQ(CurrentWindow.Width, 0);
  EXPECT_EQ(KeyTable[27], 0);
  EXPECT_EQ(ErrorBoxCount(), 0);
  EXPECT_TRUE(LastErrorBoxText().empty());
  // The audio device is tried again and streams are numbered from 1 again.
  EXPECT_EQ(StreamFrequency(1), 0u);
  EXPECT_TRUE(InitAudio(nullptr));
  EXPECT_EQ(OpenStream(music), 1u);
}
