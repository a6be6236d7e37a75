#include "mediamanager.h"

#include "fileseeker.h"

#include <algorithm>

namespace {

// While a queue is full the reader sleeps until a place is freed or a seek or
// unload wakes it; the time-out only bounds a wake-up that went missing.
constexpr int IdleWaitMs = 50;

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
    return source->seekRequested || source->aborting;
}

void MediaManager::load(MediaSource* mediaSrc)
{
    setStatus(Loading);
    unload();
    if (!mediaSrc)
        return;
    source = mediaSrc;
    source->synchronise();
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
    chooseTimeZero();
    return true;
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
        codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
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

void MediaManager::chooseTimeZero()
{
    const AVFormatContext* context = source->formatContext.get();
    const AVStream* reference = source->videoStream ? source->videoStream : source->audioStream;
    double start = 0.0;
    if (reference && reference->start_time != AV_NOPTS_VALUE)
        start = double(reference->start_time) * av_q2d(reference->time_base);
    else if (context->start_time != AV_NOPTS_VALUE)
        start = double(context->start_time) / AV_TIME_BASE;
    source->timeOffset = std::max(0.0, start);

    source->endTime = 0.0;
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
        const double containerStart =
            context->start_time != AV_NOPTS_VALUE ? double(context->start_time) / AV_TIME_BASE : 0.0;
        source->endTime =
            std::max(0.0, containerStart + double(context->duration) / AV_TIME_BASE - source->timeOffset);
    }
}

bool MediaManager::pushPatiently(PacketQueue& queue, AVPacket* data)
{
    while (!queue.push(data, IdleWaitMs)) {
        if (stopRequested()) {
            av_packet_unref(data);
            return false;
        }
    }
    return true;
}

void MediaManager::dispatch(AVPacket* read)
{
    if (read->stream_index == source->audioStreamIndex)
        pushPatiently(source->audioPackets, read);
    else if (read->stream_index == source->videoStreamIndex)
        pushPatiently(source->videoPackets, read);
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
        if (limit > 0 && ++count >= limit)
            break;
    }
    return 0;
}

void MediaManager::pushEndOfStreamMarkers()
{
    for (PacketQueue* queue : {&source->audioPackets, &source->videoPackets}) {
        while (!queue->pushEndOfStream(IdleWaitMs)) {
            if (stopRequested())
                return;
        }
    }
}

void MediaManager::read()
{
    if (!source || !source->formatContext)
        return;
    setStatus(Reading);
    const int result = readPackets(0);
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
        source->videoCache.setDiscarding(true);
        source->audioCache.setDiscarding(true);
        source->audioPackets.clear();
        source->videoPackets.clear();
        source->audioCache.clear();
        source->videoCache.reset();
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
            source->setPlaybackTime(source->seekTarget);
            for (PacketPtr& read : landed)
                dispatch(read.get());
            // The packets read to find where the seek landed count in.
            readPackets(std::max(1, PrefillPackets - int(landed.size())));
            setStatus(Seeked);
        }
    }
    read();
}

void MediaManager::closeFile()
{
    if (!fileOpen)
        return;
    if (source) {
        source->audioCodecContext.reset();
        source->videoCodecContext.reset();
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
