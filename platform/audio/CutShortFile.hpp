#pragma once

#include <string>

namespace platform::audio {

// Whether a file ends before the audio its container announces, for the
// containers whose decoders read such a copy without complaint: a WAV whose
// data chunk is longer than the bytes after it, or an Ogg stream whose last
// page is incomplete or not marked as the stream's end. Other files, and
// files that cannot be read, answer false (opening them tells what is wrong).
bool isCutShort(const std::string& path);

}  // namespace platform::audio
