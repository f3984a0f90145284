#pragma once

#include <string>

// Opens a media file (a JPEG snapshot, say) with libavformat and reports the
// size of its first video stream. False when the file does not open or has
// no video.
bool probePictureSize(const std::string& path, int* width, int* height);
