// The version stamp template: a small AMD64 kernel-mode driver image whose version resource
// carries 11.22.33.4444, kept as 19 upper-case hex texts. Concatenated and decoded two digits at
// a time they give the image. The odd pieces hold the bytes that depend on the version text:
// 1 and 3 the low bytes of the resource size and of the VS_VERSIONINFO length (equal), 5 the
// fixed file version, 7, 9, 11 and 15 the low bytes of the StringFileInfo, StringTable,
// FileVersion and ProductVersion lengths, 13 and 17 the two version texts in UTF-16LE less
// their final zero byte (equal).
//
// stamp_template.cpp is written by tools/stamp_template_gen.cpp; change the generator, never the
// generated file.
#pragma once

#include <array>

// Constant-initialised, so it may be read during static initialisation.
extern const std::array<const char*, 19> stampTemplatePieces;
