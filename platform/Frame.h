// The frame globals: written by the run loop immediately before each effect call and read by
// the effects during it. QuitRequested ends the run before the next frame.
#pragma once

extern bool QuitRequested;        // set at the end time, the demotrack's end, or a failed load
extern float BarTime;             // seconds since the start row of the running bar
extern float BarRow;              // rows since the start row of the running bar
extern float FrameTime;           // duration of the last frame in seconds
extern float DemoTime;            // the demo time of this frame in seconds
extern float SpectrumData[512];   // the music's spectrum; the first 256 values are magnitudes
