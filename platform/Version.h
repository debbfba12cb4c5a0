// The program's version, as the build system states it (the project version in CMakeLists.txt).
#pragma once

// The version text, for example "0.1".
const char* VorpaneVersion();
