#pragma once

// Owning holders for the FFmpeg objects of the engine: each is a std::unique_ptr
// whose deleter is the library's own free function, so no early return leaks.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>

struct FormatContextCloser
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

struct CodecContextFreer
{
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};

struct FrameFreer
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

struct PacketFreer
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

struct ScalerFreer
{
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

struct ResamplerFreer
{
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};

struct AvMemoryFreer
{
    void operator()(void* memory) const { av_free(memory); }
};

struct BufferPoolFreer
{
    // The pool goes once the last of its buffers has been given back.
    void operator()(AVBufferPool* pool) const { av_buffer_pool_uninit(&pool); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolFreer>;
using AvBytesPtr = std::unique_ptr<uint8_t, AvMemoryFreer>;
