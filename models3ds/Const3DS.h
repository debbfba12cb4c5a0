// Chunk ids of the 3DS format that the reader names in its code and that tests build files from.
// Ids the reader only needs in its skip and decode tables appear there as numbers.
#pragma once
#include <cstdint>

// Roots.
constexpr uint16_t kChunkModelFile = 0x4D4D;   // 3D model file
constexpr uint16_t kChunkProjectFile = 0xC23D;     // project file
constexpr uint16_t kChunkMaterialLibrary = 0x3DAA;  // material library

// Model file.
constexpr uint16_t kChunkFileVersion = 0x0002;
constexpr uint16_t kChunkMeshData = 0x3D3D;       // mesh-data section
constexpr uint16_t kChunkMeshVersion = 0x3D3E;
constexpr uint16_t kChunkMasterScale = 0x0100;
constexpr uint16_t kChunkNamedObject = 0x4000;
constexpr uint16_t kChunkObjHidden = 0x4010;
constexpr uint16_t kChunkObjShownInLofter = 0x4011;
constexpr uint16_t kChunkObjCastsNoShadow = 0x4012;
constexpr uint16_t kChunkObjMatte = 0x4013;
constexpr uint16_t kChunkObjFastDisplay = 0x4014;
constexpr uint16_t kChunkObjProcedural = 0x4015;
constexpr uint16_t kChunkObjFrozen = 0x4016;
constexpr uint16_t kChunkObjReceivesNoShadow = 0x4017;
constexpr uint16_t kChunkTriangleMesh = 0x4100;  // triangle mesh
constexpr uint16_t kChunkVertexList = 0x4110;
constexpr uint16_t kChunkVertexFlags = 0x4111;
constexpr uint16_t kChunkFaceList = 0x4120;
constexpr uint16_t kChunkFaceMaterial = 0x4130;
constexpr uint16_t kChunkTexCoords = 0x4140;
constexpr uint16_t kChunkSmoothing = 0x4150;
constexpr uint16_t kChunkLocalAxes = 0x4160;
constexpr uint16_t kChunkMeshColor = 0x4165;
constexpr uint16_t kChunkMapping = 0x4170;
constexpr uint16_t kChunkProcName = 0x4181;
constexpr uint16_t kChunkProcData = 0x4182;
constexpr uint16_t kChunkBoxMap = 0x4190;
constexpr uint16_t kChunkLight = 0x4600;
constexpr uint16_t kChunkSpotlight = 0x4610;
constexpr uint16_t kChunkCamera = 0x4700;

// Extended data.
constexpr uint16_t kChunkExtendedSection = 0x8000;
constexpr uint16_t kChunkExtendedEntry = 0x8001;
constexpr uint16_t kChunkExtendedFirst = 0x8002;
constexpr uint16_t kChunkExtendedString = 0x8003;
constexpr uint16_t kChunkExtendedLast = 0x800F;
constexpr uint16_t kChunkParentName = 0x80F0;

// Materials.
constexpr uint16_t kChunkMaterialEntry = 0xAFFF;
constexpr uint16_t kChunkMaterialName = 0xA000;

// Keyframer.
constexpr uint16_t kChunkKeyFramer = 0xB000;
constexpr uint16_t kChunkAmbientNode = 0xB001;
constexpr uint16_t kChunkObjectNode = 0xB002;
constexpr uint16_t kChunkCameraNode = 0xB003;
constexpr uint16_t kChunkTargetNode = 0xB004;
constexpr uint16_t kChunkLightNode = 0xB005;
constexpr uint16_t kChunkLightTargetNode = 0xB006;
constexpr uint16_t kChunkSpotlightNode = 0xB007;
constexpr uint16_t kChunkKeyFramerSegment = 0xB008;
constexpr uint16_t kChunkKeyFramerCurrentTime = 0xB009;
constexpr uint16_t kChunkKeyFramerHeader = 0xB00A;
constexpr uint16_t kChunkNodeHeader = 0xB010;
constexpr uint16_t kChunkInstanceName = 0xB011;
constexpr uint16_t kChunkPivot = 0xB013;
constexpr uint16_t kChunkPositionTrack = 0xB020;
constexpr uint16_t kChunkRotationTrack = 0xB021;
constexpr uint16_t kChunkScaleTrack = 0xB022;
constexpr uint16_t kChunkFovTrack = 0xB023;
constexpr uint16_t kChunkRollTrack = 0xB024;
constexpr uint16_t kChunkColorTrack = 0xB025;
constexpr uint16_t kChunkMorphTrack = 0xB026;
constexpr uint16_t kChunkHotspotTrack = 0xB027;
constexpr uint16_t kChunkFalloffTrack = 0xB028;
constexpr uint16_t kChunkHideTrack = 0xB029;
constexpr uint16_t kChunkNodeId = 0xB030;
