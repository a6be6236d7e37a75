#include "soundlibrarylog.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <mutex>

namespace {

void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void ignoreJackMessage(const char*) {}

// PortAudio loads the JACK client library itself; its message hooks are
// looked up at run time so that the program does not need JACK to build.
void silenceJack()
{
    using Setter = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
        if (auto setter = reinterpret_cast<Setter>(dlsym(RTLD_DEFAULT, name)))
            setter(ignoreJackMessage);
    }
}

} // namespace

void SoundLibraryLog::silence()
{
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(ignoreAlsaMessage);
        silenceJack();
    });
}
