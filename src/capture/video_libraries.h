// FFmpeg's libraries for the video writer, loaded by their sonames when a
// video is asked for rather than linked: the encoders bring a hundred more
// libraries and some 20 MB that every other use of the program would load
// for nothing, and a system without FFmpeg still runs everything else.
// Compiled against the headers of the FFmpeg the program is built with; its
// major versions give the sonames (libavcodec.so.59 ... on Debian 12).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

// The functions the video writer calls, named as FFmpeg names them.
struct video_library_functions {
    decltype(&::av_strerror) av_strerror;
    decltype(&::av_log_set_level) av_log_set_level;
    decltype(&::av_opt_set) av_opt_set;
    decltype(&::av_dict_set) av_dict_set;
    decltype(&::av_dict_free) av_dict_free;
    decltype(&::av_frame_alloc) av_frame_alloc;
    decltype(&::av_frame_free) av_frame_free;
    decltype(&::av_frame_get_buffer) av_frame_get_buffer;
    decltype(&::av_frame_make_writable) av_frame_make_writable;
    decltype(&::av_channel_layout_default) av_channel_layout_default;
    decltype(&::av_channel_layout_copy) av_channel_layout_copy;

    decltype(&::avcodec_find_encoder) avcodec_find_encoder;
    decltype(&::avcodec_find_encoder_by_name) avcodec_find_encoder_by_name;
    decltype(&::avcodec_alloc_context3) avcodec_alloc_context3;
    decltype(&::avcodec_free_context) avcodec_free_context;
    decltype(&::avcodec_open2) avcodec_open2;
    decltype(&::avcodec_parameters_from_context) avcodec_parameters_from_context;
    decltype(&::avcodec_send_frame) avcodec_send_frame;
    decltype(&::avcodec_receive_packet) avcodec_receive_packet;
    decltype(&::av_packet_alloc) av_packet_alloc;
    decltype(&::av_packet_free) av_packet_free;
    decltype(&::av_packet_rescale_ts) av_packet_rescale_ts;

    decltype(&::av_guess_format) av_guess_format;
    decltype(&::avformat_alloc_output_context2) avformat_alloc_output_context2;
    decltype(&::avformat_free_context) avformat_free_context;
    decltype(&::avformat_new_stream) avformat_new_stream;
    decltype(&::avformat_write_header) avformat_write_header;
    decltype(&::av_interleaved_write_frame) av_interleaved_write_frame;
    decltype(&::av_write_trailer) av_write_trailer;
    decltype(&::avio_open) avio_open;
    decltype(&::avio_closep) avio_closep;
};

// Filled by video_libraries_load, all or none; read by the video writer only.
extern video_library_functions ff;

// Loads libavutil, libavcodec and libavformat and looks up every function in
// ff, once; later calls give the first answer. False, with one line in why
// (size bytes) naming what is missing and the Debian packages that bring it.
// With GLIMFANT_TEST_HIDE_FFMPEG set in the environment the sonames looked
// for are made up, so tests see the program on a system without FFmpeg.
bool video_libraries_load(char* why, int size);
