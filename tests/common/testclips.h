#pragma once

#include <QList>
#include <QString>

// The generated test clip corpus (scripts/make-test-clips.sh), with what each
// clip is known to contain. Tests find the corpus through ORVEL_TEST_CLIPS,
// which CTest sets to the folder the corpus fixture generates.
struct TestClip
{
    QString name;
    bool hasVideo = true;
    bool hasAudio = true;
    int width = 0;
    int height = 0;
    int frameRateNum = 25;
    int frameRateDen = 1;
    // Pictures shown, and the encoded index of the first one (not 0 for a cut
    // whose hidden samples precede it).
    int frameCount = 0;
    int firstIndex = 0;
    int audioChannels = 0;
    int sampleRate = 0;
    double duration = 0.0;
    // Longest distance between key frames, in frames.
    int gopLength = 0;

    double frameRate() const { return double(frameRateNum) / frameRateDen; }
    QString path() const;
};

// A clip of flat colours: pictures 1-2 red, 3-4 green, 5-6 blue, 7-8 a skin
// tone, and the matrix and range they must be shown with (the names the
// ffmpeg tool's scale filter takes).
struct ColourClip
{
    QString name;
    const char* matrix;
    const char* range;
};

namespace TestClips {

QString directory();
QString path(const QString& name);

// Every clip that opens and plays (video, audio or both).
QList<TestClip> playable();
// Playable clips that have a video stream.
QList<TestClip> withVideo();
// Files that FFmpeg cannot open at all.
QStringList unopenable();
TestClip clip(const QString& name);
// Two seconds of pictures and three minutes of sound (long_tail.mkv), whose
// second s plays the ladder tone of s mod 15 on channel 0 and of s div 15 on
// channel 1. Not among the playable clips: the tone of its channel 0 is not
// that of the second.
TestClip longTail();
QList<ColourClip> colourClips();
// Two pictures of 9200 x 9200, each larger than the smallest video cache.
inline QString hugeClip()
{
    return QStringLiteral("huge_9200.avi");
}

} // namespace TestClips
