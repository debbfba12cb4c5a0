// make_production OUTDIR: generates the data of the sample production into OUTDIR (created when
// missing): the music (moltrax.ogg) and the demotrack (moltrax.trk), both from the one song
// description, the pictures and the 3D models. Deterministic: the same program writes the same files.
#include "common/AudioFiles.h"
#include "common/Demotrack.h"
#include "common/Models3DS.h"
#include "common/ProductionPictures.h"
#include "common/Song.h"
#include "common/Synth.h"
#include "common/Usage.h"
#include "platform/Files.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  const bool help = AskedForHelp(argc, argv);
  if (help || argc != 2) return PrintUsage("usage: make_production OUTDIR\n", help);
  const std::string folder = argv[1];
  if (!MakeFolders(folder)) {
    std::fprintf(stderr, "make_production: cannot create %s\n", folder.c_str());
    return 1;
  }
  const TSong song = MoltraxSong();
  if (!WriteDemotrack(folder + "/moltrax.trk", SongDemotrack(song))) {
    std::fprintf(stderr, "make_production: cannot write %s/moltrax.trk\n", folder.c_str());
    return 1;
  }
  if (!WriteOggVorbis(folder + "/moltrax.ogg", RenderSong(song))) {
    std::fprintf(stderr, "make_production: cannot write %s/moltrax.ogg\n", folder.c_str());
    return 1;
  }
  std::string error;
  // The voxel cube and the duck of the pixelize scene, and the ring of the object scenes.
  const struct {
    const char* kind;
    const char* file;
  } models[] = {{"cube", "boxpixel.3ds"}, {"duck", "duck.3ds"}, {"torus", "torus.3ds"}};
  for (const auto& model : models) {
    if (!WriteModelFile(model.kind, folder + "/" + model.file, error)) {
      std::fprintf(stderr, "make_production: %s\n", error.c_str());
      return 1;
    }
  }
  if (!WriteProductionPictures(folder, error)) {
    std::fprintf(stderr, "make_production: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
