// The files each effect type reads and the parameters it cannot do without, so that a script can
// be checked without loading its effects (and without a GL context). Each effect class says this
// of itself (TVEffect::CreationFiles, LoadFiles, MissingParameters); the effect table answers
// for a type name.
#pragma once
#include <string>
#include <vector>

class TVEffect;

// How a file an effect reads is decoded.
enum class TEffectFileKind { Picture, JpegPair, Model };

// One file an effect reads.
struct TEffectFile {
  TEffectFileKind Kind = TEffectFileKind::Picture;
  std::string Name;       // the file (the colour picture of a pair)
  std::string AlphaName;  // the alpha picture of a pair
  std::string Parameter;  // the parameter that names it ("A", "A and B"), empty for a fixed name
};

// A picture, a model, or a colour/alpha JPEG pair, named by `parameter` (empty: a fixed name).
TEffectFile PictureFile(const std::string& name, const std::string& parameter);
TEffectFile ModelFile(const std::string& name, const std::string& parameter);
TEffectFile JpegPairFile(const std::string& colour, const std::string& alpha,
                         const std::string& parameter);

// The files an effect of the type reads when LOAD creates it: fixed names, read by the
// constructor (empty for the types that read nothing until Load, and for unknown types).
std::vector<TEffectFile> EffectCreationFiles(const std::string& typeName);
// The files an effect of the type reads in Load, named by its parameters.
std::vector<TEffectFile> EffectLoadFiles(const std::string& typeName, const TVEffect& effect);
// The parameters the type needs that the effect leaves empty ("A" for a picture effect without
// its picture), each with what it names.
std::vector<std::string> MissingEffectParameters(const std::string& typeName,
                                                 const TVEffect& effect);
