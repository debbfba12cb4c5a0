#include "platform/Frame.h"

bool QuitRequested = false;
float BarTime = 0.0f;
float BarRow = 0.0f;
float FrameTime = 0.0f;
float DemoTime = 0.0f;
float SpectrumData[512] = {};
