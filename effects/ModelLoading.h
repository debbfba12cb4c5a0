// Loading 3DS models for the effects: a brush that cannot be read becomes one script error that
// names the file, and the effect is marked as failed to load, instead of an exception leaving the
// program.
#pragma once
#include "effects/VEffect.h"
#include "engine/KGL2Classes.h"

#include <memory>
#include <string>

// The brush of the model file, or null after "Cannot load model NAME: MESSAGE" (also when the
// file holds no mesh, since the effects draw the first one) and ReportLoadFailure.
std::unique_ptr<TKGLBrush> LoadEffectModel(TVEffect& effect, const std::string& fileName);
