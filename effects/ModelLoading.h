// Loading 3DS models for the effects: a brush that cannot be read becomes one script error that
// names the file, and the effect is marked as failed to load, instead of an exception leaving the
// program. Models read are kept by name, file size and modification time, so reading a script
// again reuses the models whose files did not change.
#pragma once
#include "effects/VEffect.h"
#include "engine/KGL2Classes.h"

#include <memory>
#include <string>

// The brush of the model file, or null after "Cannot load model NAME: MESSAGE" (also when the
// file holds no mesh, since the effects draw the first one) and ReportLoadFailure. Each call
// returns a copy of its own, which the effect may transform. The name resolves by `files`, whose
// sink gets the error.
std::unique_ptr<TKGLBrush> LoadEffectModel(TVEffect& effect, const std::string& fileName,
                                           const TReadContext& files = TReadContext());
// Why a brush read without error cannot serve an effect, which draws its first mesh: "the file
// holds no mesh", or its first mesh has no faces (a mesh cut short draws nothing); empty when it
// can.
std::string UnusableModelReason(const TKGLBrush& brush);
// Number of model files read so far (not taken from the cache).
int ModelFileReadCount();
// Forgets every kept model and the read count (process reset).
void ClearModelCache();
