#pragma once

#include <memory>
#include <portaudio.h>

// Owning holder of a PortAudio stream. The audio manager closes its stream
// itself so that it can report a failure; the holder only makes sure that no
// path leaves a stream open.
struct PaStreamCloser
{
    void operator()(PaStream* stream) const { Pa_CloseStream(stream); }
};

using PaStreamPtr = std::unique_ptr<PaStream, PaStreamCloser>;
