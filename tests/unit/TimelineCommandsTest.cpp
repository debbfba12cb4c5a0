// Effect slots, parameter commands and bars as the script builds them.
#include "authoring/ReadOnlyHost.h"
#include "demo/Vorpane.h"
#include "effects/EffectFactory.h"
#include "platform/Dialogs.h"
#include "support/TestSystem.h"
#include "support/ScriptDemo.h"

#include <gtest/gtest.h>

TEST(EffectSlots, LoadGrowsTheSlotsAndReplaces) {
  auto demo = DemoFromScript("LOAD template 5\n");
  ASSERT_EQ(demo->EffectSlots.size(), 6u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(demo->EffectSlots[i], nullptr);
  ASSERT_NE(demo->EffectSlots[5], nullptr);
  EXPECT_EQ(demo->EffectSlots[5]->Index, 5);
  EXPECT_EQ(demo->CurrentSlot, 5);
  EXPECT_FLOAT_EQ(demo->EffectSlots[5]->InputLimit, 1.0f);

  demo = DemoFromScript("LOAD template 1\nX 1\nLOAD template 1\nX 2\nLOAD template 0\n");
  ASSERT_EQ(demo->EffectSlots.size(), 2u);
  EXPECT_FLOAT_EQ(demo->EffectSlots[1]->X, 2.0f);
  EXPECT_EQ(demo->CurrentSlot, 0);
}

TEST(EffectSlots, ParameterCommandsFillTheCurrentEffect) {
  auto demo = DemoFromScript(
      "LOAD template 0\nX 1.5\nY -2\nZ 3e1\nH 4\nW 5\nD 6\nVX 7\nVY 8\nVZ 9\n"
      "A some file.jpg\nB b\nC c\nE 10\nF $10\nG -3\nS 150\nSS 25\n");
  const TVEffect& e = *demo->EffectSlots[0];
  EXPECT_FLOAT_EQ(e.X, 1.5f);
  EXPECT_FLOAT_EQ(e.Y, -2.0f);
  EXPECT_FLOAT_EQ(e.Z, 30.0f);
  EXPECT_FLOAT_EQ(e.H + e.W + e.D, 15.0f);
  EXPECT_FLOAT_EQ(e.VX + e.VY + e.VZ, 24.0f);
  EXPECT_EQ(e.A, "some file.jpg");
  EXPECT_EQ(e.B, "b");
  EXPECT_EQ(e.E, 10);
  EXPECT_EQ(e.F, 16);
  EXPECT_EQ(e.G, -3);
  EXPECT_FLOAT_EQ(e.S, 1.5f);
  EXPECT_FLOAT_EQ(e.SS, 0.25f);
}

TEST(EffectSlots, MisplacedCommandsReportAndAreIgnored) {
  const int before = ErrorBoxCount();
  auto demo = DemoFromScript(
      "X 5\n"                      // before any LOAD
      "LOAD nosuchtype 2\n"        // unknown type
      "Y 5\n"                      // the current slot is empty
      "LOAD Template 1\n"          // names are case-sensitive
      "LOAD template -1\n"         // negative slot
      "MOUNT 1\n"                  // before any BAR
      "BAR one\nINPUT 20 0 1 100 0\nINPUT -1 0 1 100 0\n");
  EXPECT_EQ(ErrorBoxCount() - before, 8);
  EXPECT_EQ(demo->EffectSlots.size(), 3u);
  for (TVEffect* slot : demo->EffectSlots) EXPECT_EQ(slot, nullptr);
  ASSERT_EQ(demo->Bars.size(), 1u);
  for (const TInputMap& map : demo->Bars[0].InputMaps) EXPECT_FALSE(map.Enabled);

  DemoFromScript("LOAD flashy 0\n");
  EXPECT_NE(LastErrorBoxText().find("Description: No such effect in demo: flashy"),
            std::string::npos);
  EXPECT_EQ(LastErrorBoxText().rfind("Vorpane Demosystem\nError in demoscript. Demo will now crash\n", 0),
            0u);
}

TEST(Bars, MountLengthEffectInputAndExtras) {
  auto demo = DemoFromScript(
      "BAR intro part\nMOUNT 1\nLENGTH 0 1\nEFFECT 3\nINPUT 3 2 1 100 50\n"
      "INPUT 0 1 261 250 0\n>>COLOR 255 0 0 51\n>>SINGLE 0.5\n>>OFSET -2\n"
      "BAR second\nMOUNT 0 0 0 3\nLENGTH 2 1\n"
      "BAR third\nMOUNT 1 2 3 4 5 6\nLENGTH\n");
  ASSERT_EQ(demo->Bars.size(), 3u);
  const TScriptBar& a = demo->Bars[0];
  EXPECT_EQ(a.Name, "intro part");
  EXPECT_EQ(a.Mount, 64);
  EXPECT_EQ(a.Length, 16);
  EXPECT_EQ(a.Effect, 3);
  EXPECT_TRUE(a.InputMaps[3].Enabled);
  EXPECT_EQ(a.InputMaps[3].Channel, 2);
  EXPECT_EQ(a.InputMaps[3].Note, 1);
  EXPECT_FLOAT_EQ(a.InputMaps[3].Width, 0.1f);
  EXPECT_FLOAT_EQ(a.InputMaps[3].LookAhead, 0.05f);
  EXPECT_EQ(a.InputMaps[0].Note, 5);  // low 8 bits of 261
  EXPECT_FALSE(a.InputMaps[1].Enabled);
  EXPECT_FLOAT_EQ(a.Color[0], 1.0f);
  EXPECT_FLOAT_EQ(a.Color[3], 0.2f);
  EXPECT_FLOAT_EQ(a.Single, 0.5f);
  EXPECT_FLOAT_EQ(a.Offset, -2.0f);
  EXPECT_EQ(demo->Bars[1].Mount, 3);
  EXPECT_EQ(demo->Bars[1].Length, 144);
  EXPECT_EQ(demo->Bars[2].Mount, 64 + 32 + 12 + 4);  // tokens past the fourth are dropped
  EXPECT_EQ(demo->Bars[2].Length, 0);
  EXPECT_EQ(demo->Bars[2].Effect, 0);
}

TEST(EffectBase, SetInputsRisesAndClamps) {
  TVEffect effect;
  effect.Inputs[0] = 0.3f;
  effect.Inputs[1] = 0.7f;
  float inputs[kEffectInputCount] = {2.0f, 0.5f};
  effect.SetInputs(inputs);
  EXPECT_FLOAT_EQ(effect.Inputs[0], 1.0f);
  EXPECT_FLOAT_EQ(effect.Inputs[1], 0.7f);
  EXPECT_FLOAT_EQ(effect.Inputs[2], 0.0f);
  EXPECT_EQ(EffectTypeNames().front(), "template");
}

TEST(ScriptReading, ReadOnlyOpensNothingAndErrorsCarryTheirLine) {
  std::vector<std::pair<int, std::string>> errors;
  SetScriptErrorHandler([&](const TScriptLocation& where, const std::string& description) {
    errors.emplace_back(where.Line, description);
  });
  TReadOnlyHost host(false);
  // INIT and LOADMUSIC open nothing; the picture effect is created but not loaded (its missing
  // file would otherwise be reported).
  auto demo = DemoFromScript(
      "RESOLUTIONX 800\nINIT\nLOADMUSIC nothing.ogg\nLOAD plaintexture 1\nA missing.jpg\n"
      "LOAD nosuchtype 2\nBAR first\nMOUNT 1\n",
      host);
  SetScriptErrorHandler(nullptr);
  EXPECT_EQ(demo->Window.RC, nullptr);
  EXPECT_FALSE(demo->MusicLoaded);
  EXPECT_EQ(demo->MusicFile, "nothing.ogg");
  ASSERT_EQ(demo->Bars.size(), 1u);
  EXPECT_EQ(demo->Bars[0].Line, 7);
  EXPECT_EQ(demo->Bars[0].Mount, 64);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].first, 6);
  EXPECT_EQ(errors[0].second, "No such effect in demo: nosuchtype");
  EXPECT_EQ(ErrorBoxCount(), 0);
}
