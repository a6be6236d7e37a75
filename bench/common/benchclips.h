#pragma once

#include <QString>

// The clips the benchmarks play. The test corpus (scripts/make-test-clips.sh)
// gives the long-GOP 1080p25 H.264 clip; the others are generated with the
// ffmpeg tool into the build tree on first use. Each function returns the
// clip's path, or an empty string when it could not be made.
namespace BenchClips {

// A clip of the test corpus, generating the corpus if it is missing.
QString corpus(const QString& name, const QString& corpusDir = QString());
// The long-GOP clip: 1080p25 H.264, a key frame every 250 frames, B-frames.
QString longGop1080p25(const QString& corpusDir = QString());
// 1080p60 H.264, a key frame every 2 s, B-frames, AAC sound; 10 s.
QString shortGop1080p60();
// 3840x2160 30 fps H.264, a key frame every 2 s, AAC sound; 4 s.
QString uhd30();
// 1080p25 ProRes 422 (intra-only, 10-bit 4:2:2), PCM sound; 4 s.
QString prores1080p25();
// An H.264 clip of the test source with a tone at `path`: `size` like
// "1920x1080", `rate` frames per second, `seconds` long, a key frame every
// `gop` frames, B-frames.
QString ensureClip(const QString& path, const QString& size, int rate, int seconds, int gop);

} // namespace BenchClips
