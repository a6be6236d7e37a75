#include "mediamanager.h"

#include "backgroundpriority.h"
#include "fileseeker.h"
#include "firstpictureprobe.h"

#include <algorithm>
#include <thread>

namespace {

// While a queue is full the reader sleeps until a place is freed or a seek or
// unload wakes it; the time-out only bounds a wake-up that went missing.
constexpr int IdleWaitMs = 50;
// The same, for a full video queue that nothing but the decoder, a seek or an
// unload changes (no pacing, no fill): paused with full caches, the reader
// then wakes once a second rather than twenty times.
constexpr int SettledWaitMs = 1000;
// How much memory the audio queue takes at most beyond its capacity while
// pictures wait for the reader (about 7 minutes of AAC at 128 kbit/s, a
// minute and a half of 16-bit stereo PCM): beyond it, the reader skips the
// sound and comes back for it (SkippedSound).
constexpr int64_t SoundOverflowBytes = 16 * 1024 * 1024;

// Lets a blocking read inside the demuxer (a slow disk, a network share)
// give up as soon as the media is unloaded.
int interruptWhenAborting(void* opaque)
{
    return static_cast<const MediaSource*>(opaque)->aborting.load() ? 1 : 0;
}

bool isAttachedPicture(const AVStream* stream)
{
    return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

// ProRes and DNxHD pictures stand alone and always come in many slices:
// threads that share each picture's slices give it at once, where frame
// threads first take as many pictures as there are threads, and a seek then
// waits for those it no longer needs. (Other intra-only formats, FFV1 or
// JPEG 2000, may have a single slice or tile, which one thread would decode.)
bool decodesBySlices(const AVCodec* decoder)
{
    return (decoder->id == AV_CODEC_ID_PRORES || decoder->id == AV_CODEC_ID_DNXHD) &&
           (decoder->capabilities & AV_CODEC_CAP_SLICE_THREADS) != 0;
}

} // namespace

MediaManager::MediaManager(QObject* parent) : QObject(parent), packet(av_packet_alloc())
{
    qRegisterMetaType<MediaManager::Error>("MediaManager::Error");
    qRegisterMetaType<MediaManager::Status>("MediaManager::Status");
    qRegisterMetaType<MediaSource*>("MediaSource*");
}

MediaManager::~MediaManager()
{
    if (source) {
        source->synchronise();
        source->audioPackets.clear();
        source->videoPackets.clear();
    }
    closeFile();
    source = nullptr;
}

void MediaManager::setStatus(Status status)
{
    if (currentStatus == status)
        return;
    currentStatus = status;
    emit statusChanged(status);
}

void MediaManager::raiseError(Error error)
{
    if (currentError != error) {
        currentError = error;
        emit this->error(error);
    }
    currentError = NoError;
}

bool MediaManager::stopRequested() const
{
    // A fill's decoder may finish after a seek replaced it: only a fill ends
    // the reading when its pictures are done.
    return source->seekRequested || source->aborting || (source->fillDone && source->seekFillEnd >= 0.0);
}

void MediaManager::load(MediaSource* mediaSrc)
{
    // Reading and the decoders' threads, which the codecs start from here.
    BackgroundPriority::lowerCurrentThread();
    setStatus(Loading);
    unload();
    if (!mediaSrc)
        return;
    source = mediaSrc;
    source->synchronise();
    skippedSound.reset();
    pacer.stop();
    fileOpen = true;
    if (!openFile()) {
        setStatus(LoadFailed);
        // An open cut short by an unload is no fault of the file.
        if (!source->aborting)
            raiseError(OpenFailed);
        return;
    }
    source->publish();
    readPackets(PrefillPackets);
    setStatus(Loaded);
    read();
}

bool MediaManager::openFile()
{
    source->audioStreamCount = 0;
    source->audioStreamIndex = -1;
    source->videoStreamCount = 0;
    source->videoStreamIndex = -1;

    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return false;
    context->interrupt_callback.callback = &interruptWhenAborting;
    context->interrupt_callback.opaque = source;
    const QByteArray name = source->filename().toLocal8Bit();
    // On failure the library frees the context and nulls the pointer.
    if (avformat_open_input(&context, name.constData(), nullptr, nullptr) < 0)
        return false;
    source->formatContext.reset(context);
    if (avformat_find_stream_info(context, nullptr) < 0)
        return false;

    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO) {
            ++source->audioStreamCount;
            if (source->audioStreamIndex == -1)
                openStream(int(i));
        } else if (type == AVMEDIA_TYPE_VIDEO && !isAttachedPicture(stream)) {
            ++source->videoStreamCount;
            if (source->videoStreamIndex == -1)
                openStream(int(i));
        }
    }
    if (source->audioStreamIndex < 0 && source->videoStreamIndex < 0)
        return false;
    source->description = MediaDescription::of(source->videoStream, source->videoCodecContext.get(),
                                               source->audioStream, source->audioCodecContext.get());
    source->description.startTimecode = MediaDescription::startTimecodeOf(context, source->videoStream);
    return chooseTimeZero();
}

bool MediaManager::openStream(int index)
{
    AVFormatContext* context = source->formatContext.get();
    if (index < 0 || index >= int(context->nb_streams))
        return false;
    AVStream* stream = context->streams[index];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        return false;
    CodecContextPtr codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return false;
    codec->pkt_timebase = stream->time_base;
    const bool video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    if (video) {
        // Threaded decoding with as many threads as the machine has cores.
        codec->thread_count = 0;
        codec->thread_type = decodesBySlices(decoder) ? FF_THREAD_SLICE : FF_THREAD_FRAME | FF_THREAD_SLICE;
        source->videoPictureBuffers.serve(codec.get());
    }
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return false;

    if (video) {
        if (codec->width <= 0 || codec->height <= 0)
            return false;
        source->videoStreamIndex = index;
        source->videoStream = stream;
        source->videoWidth = codec->width;
        source->videoHeight = codec->height;
        const AVRational rate =
            stream->avg_frame_rate.num != 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        source->frameRate = rate.num != 0 && rate.den != 0 ? av_q2d(rate) : 25.0;
        source->videoDelay = codec->delay / source->frameRate;
        source->videoDecoderThreads = codec->thread_count;
        source->videoCodecContext = std::move(codec);
    } else {
        if (codec->sample_rate <= 0 || codec->ch_layout.nb_channels <= 0)
            return false;
        source->audioStreamIndex = index;
        source->audioStream = stream;
        source->audioChannels = codec->ch_layout.nb_channels;
        source->audioPlanar = av_sample_fmt_is_planar(codec->sample_fmt);
        source->audioBytesPerSample = av_get_bytes_per_sample(codec->sample_fmt);
        source->audioSampleRate = codec->sample_rate;
        source->audioCodecContext = std::move(codec);
    }
    return true;
}

// Media time 0 is the first picture the decoder gives (the first sound
// without pictures). Finding it means decoding the clip's first pictures,
// after which the file is read again from its start.
bool MediaManager::chooseTimeZero()
{
    AVFormatContext* context = source->formatContext.get();
    const AVStream* reference = source->videoStream ? source->videoStream : source->audioStream;
    double start = 0.0;
    if (reference && reference->start_time != AV_NOPTS_VALUE)
        start = double(reference->start_time) * av_q2d(reference->time_base);
    else if (context->start_time != AV_NOPTS_VALUE)
        start = double(context->start_time) / AV_TIME_BASE;
    source->timeOffset = std::max(0.0, start);
    if (source->videoStream) {
        std::optional<uint32_t> groupTimecode;
        const std::optional<double> first =
            FirstPictureProbe::find(context, source->videoStreamIndex, source->videoCodecContext.get(),
                                    source->aborting, &groupTimecode);
        // MPEG-2 without a container time code: the first group's header.
        if (groupTimecode && source->description.startTimecode.isEmpty())
            source->description.startTimecode = MediaDescription::groupTimecodeText(*groupTimecode);
        if (FileSeeker(source).seekToStart() < 0 || source->aborting)
            return false;
        if (first)
            source->timeOffset = *first;
    }

    source->endTime = 0.0;
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
        // A container that states no start (NUT) counts its duration from its
        // first timestamp, which is time zero's as far as anyone knows.
        const double containerStart = context->start_time != AV_NOPTS_VALUE
                                          ? double(context->start_time) / AV_TIME_BASE
                                          : source->timeOffset;
        source->endTime =
            std::max(0.0, containerStart + double(context->duration) / AV_TIME_BASE - source->timeOffset);
    }
    return true;
}

bool MediaManager::pushPatiently(PacketQueue& queue, AVPacket* data)
{
    for (;;) {
        if (&queue == &source->audioPackets && picturesWaiting()) {
            if (queue.pushBeyondCapacity(data, SoundOverflowBytes))
                return true;
            if (skippedSound.skip(data)) {
                av_packet_unref(data);
                return true;
            }
        }
        const bool video = &queue == &source->videoPackets;
        const int capacity = video ? pacer.videoCapacity(*source) : PacketQueue::Capacity;
        const bool settled = video && !pacer.active() && source->seekFillEnd < 0.0;
        if (queue.push(data, settled ? SettledWaitMs : IdleWaitMs, capacity))
            return true;
        retiredPictures.clear();
        if (stopRequested()) {
            av_packet_unref(data);
            return false;
        }
    }
}

bool MediaManager::picturesWaiting() const
{
    // The sound decoder stays a few seconds ahead of the clock, and its full
    // queue holds the reader back. Pictures can lie further on in the file
    // than that (a sound track that goes on after them, poor interleaving):
    // while the video decoder has no packet left, the reader reads on and the
    // sound queue, small compressed data, grows beyond its capacity.
    return source->videoStreamIndex >= 0 && !skippedSound.readingBack() && !source->videoPackets.dropping() &&
           source->videoPackets.count() == 0;
}

void MediaManager::dispatch(AVPacket* read)
{
    // A backward fill is for the pictures alone: played backwards, the
    // media is silent.
    const bool sound = read->stream_index == source->audioStreamIndex && source->seekFillEnd < 0.0;
    const bool pictures = read->stream_index == source->videoStreamIndex;
    if ((sound || pictures) && !skippedSound.drops(read, sound))
        pushPatiently(sound ? source->audioPackets : source->videoPackets, read);
    else
        av_packet_unref(read);
}

int MediaManager::readPackets(int limit)
{
    AVFormatContext* context = source->formatContext.get();
    int count = 0;
    while (!stopRequested()) {
        const int result = av_read_frame(context, packet.get());
        if (result < 0)
            return result;
        dispatch(packet.get());
        if (!source->videoCache.discarding())
            retiredPictures.clear();
        if (limit > 0 && ++count >= limit)
            break;
    }
    return 0;
}

bool MediaManager::pushEndOfStreamPatiently(PacketQueue& queue)
{
    while (!queue.pushEndOfStream(IdleWaitMs)) {
        if (stopRequested())
            return false;
    }
    return true;
}

void MediaManager::pushEndOfStreamMarkers()
{
    // Pictures first: the sound queue may be full for as long as the clock
    // stands a few seconds before the end of the sound. Reading back skipped
    // sound, the pictures have had theirs.
    if (!skippedSound.readingBack() && !pushEndOfStreamPatiently(source->videoPackets))
        return;
    pushEndOfStreamPatiently(source->audioPackets);
}

int MediaManager::readSkippedSound()
{
    // Every picture has been read: their stream ends here, and the reader
    // goes back for the sound it passed over on the way.
    if (!pushEndOfStreamPatiently(source->videoPackets))
        return 0;
    if (skippedSound.seekBack(source->formatContext.get(), source->audioStreamIndex) < 0) {
        qWarning("WARNING: The sound skipped to reach the end of the pictures cannot be read again: "
                 "it stays silent");
        return AVERROR_EOF;
    }
    return readPackets(0);
}

void MediaManager::read()
{
    if (!source || !source->formatContext)
        return;
    setStatus(Reading);
    int result = readPackets(0);
    if (result == AVERROR_EOF && skippedSound.skipping() && !stopRequested())
        result = readSkippedSound();
    // A read that an unload or a seek interrupted is no failure.
    if (result >= 0 || stopRequested())
        return;
    if (result == AVERROR_EOF) {
        pushEndOfStreamMarkers();
        if (!stopRequested())
            setStatus(EndOfFile);
        return;
    }
    raiseError(ReadFailed);
}

void MediaManager::seek()
{
    if (source && source->formatContext && source->seekRequested) {
        // A backward fill adds to the cached pictures and leaves the clock.
        const bool fill = source->seekFillEnd >= 0.0;
        skippedSound.reset();
        // Emptied before the caches wake the decoders: woken first, they
        // would let the old packets go one at a time.
        source->audioPackets.clear();
        source->videoPackets.clear();
        source->videoCache.setDiscarding(true);
        source->audioCache.setDiscarding(true);
        source->audioCache.clear();
        if (fill) {
            pacer.stop();
        } else {
            source->videoCache.reset(&retiredPictures);
            pacer.startAfterSeek(*source);
        }
        SeekMark mark;
        std::deque<PacketPtr> landed;
        const int result = FileSeeker(source).seek(&mark, &landed);
        source->seekRequested = false;
        // The markers go in once the file has been sought: the video one says
        // where the seek went.
        source->audioPackets.flush();
        source->videoPackets.flush(&mark);
        if (result < 0) {
            if (!source->aborting)
                raiseError(SeekFailed);
        } else {
            if (!fill)
                source->setPlaybackTime(source->seekTarget);
            // The decoder starts on the packets read to find where the seek
            // landed; reading on is the reader's usual work, which the
            // controller need not wait for to look for the target.
            for (PacketPtr& read : landed)
                dispatch(read.get());
            setStatus(Seeked);
            // The decoder, woken by the packets, may have been put on this
            // thread's core: it starts on them before this thread reads on.
            std::this_thread::yield();
        }
    }
    read();
    retiredPictures.clear();
}

void MediaManager::closeFile()
{
    if (!fileOpen)
        return;
    retiredPictures.clear();
    if (source) {
        source->audioCodecContext.reset();
        source->videoCodecContext.reset();
        source->videoPictureBuffers.clear();
        source->formatContext.reset();
        source->audioStream = nullptr;
        source->videoStream = nullptr;
    }
    fileOpen = false;
}

void MediaManager::unload()
{
    if (source) {
        source->synchronise();
        source->audioPackets.clear();
        source->videoPackets.clear();
    }
    closeFile();
    if (source)
        source->publish();
    source = nullptr;
    setStatus(Unloaded);
}
