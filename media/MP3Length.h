// How long an MPEG audio stream plays and where a time lies in it: from the encoder's Xing/Info
// or VBRI header in the first frame when there is one, otherwise from the frame headers
// themselves. A variable-bit-rate song has no bit rate that gives its length.
#pragma once

#include "media/FileStream.h"

#include <array>
#include <cstdint>

struct TFrameHeader;

struct TMP3Length {
    int64_t Samples = 0;     // sample frames the decoder yields
    int64_t AudioBytes = 0;  // from the first frame to the end of the audio
    bool FromHeader = false; // the encoder's Xing/Info or VBRI header gave the frame count
    bool Constant = false;   // every frame at the first frame's rate (an Info header says so)
    bool HasToc = false;
    std::array<uint8_t, 100> Toc{}; // Xing seek table: byte share (of 256) at each percent
};

// Sample frames per frame: 384 for Layer I, 1152 for Layer II and MPEG 1 Layer III, 576 for
// MPEG 2 and 2.5 Layer III.
int32_t SamplesPerFrame(uint8_t Version, uint8_t Layer);
// The frame length in bytes for a bit rate in bit/s, with the header's version and layer.
int32_t FrameBytes(uint8_t Version, uint8_t Layer, int32_t SampleRate, int64_t BitRate,
                   bool Padding);

// Measures the stream whose first confirmed frame is `First`, audio ending at `DataEnd`.
// Handles the window's messages while it scans a long file.
TMP3Length MeasureMP3(TFileStream& Stream, const TFrameHeader& First, int64_t DataEnd);

// The byte offset (from the first frame) at which `Pos` ms of a `Duration` ms song lies.
int64_t MP3SeekOffset(const TMP3Length& Length, uint32_t Pos, uint32_t Duration,
                      int32_t AverageBitRate);
