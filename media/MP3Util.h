// What the player needs to know about an MPEG audio file before playing it: the first real
// frame, its format, the playing time and the ID3v1 tag; and the genre names.
#pragma once

#include "media/FileStream.h"
#include "media/MP3Length.h"

#include <cstdint>
#include <functional>
#include <string>

struct TFrameHeader {
    int32_t Position = 0;
    uint8_t Version = 0; // 1 = MPEG 1, 2 = MPEG 2, 3 = MPEG 2.5, 0 = invalid
    uint8_t Layer = 0;   // 1..3, 0 = invalid
    int32_t SampleRate = 0;
    int32_t BitRate = 0; // kbit/s
    uint8_t ChannelMode = 0;
    bool RightsFlag = false;
    bool OriginalFlag = false;
    bool NoCRC = false;
    bool Padding = false;
    uint16_t FrameLength = 0;
    // Bit-rate index 0: the length is the distance to the next header, the bit rate follows.
    bool FreeFormat = false;
};

struct TMP3Info {
    std::string FileName;
    int32_t FileSize = 0;
    int32_t FileDate = 0;
    bool ReadOnly = false;
    int32_t Duration = 0; // ms
    TFrameHeader Header;
    bool HasTag = false;
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Comment;
    std::string Year;
    uint8_t Genre = 80;
    int32_t AverageBitRate = 0; // bit/s over the whole audio; the first frame's for CBR
    TMP3Length Length;          // what the playing time was measured from
};

void ReadMP3Info(const std::string& FileName, bool& Valid, TMP3Info& Info);
// Searches from the stream's position for a frame confirmed by a second header one frame
// length behind it, looking at most `Limit` bytes ahead.
bool FindFrame(TFileStream& Stream, uint16_t Limit, TFrameHeader& Header);
bool DecodeFrameHeader(uint32_t HeaderData, TFrameHeader& Header);
bool IsFrameHeaderValid(const TFrameHeader& Header);
// HeaderData is a frame of the same stream as First (version, layer, sampling rate; free format
// when First is); Next gets it decoded, with its length.
bool ContinuesStream(const TFrameHeader& First, uint32_t HeaderData, TFrameHeader& Next);
// The MPEG 1 Layer II/III frame length; DecodeFrameHeader uses FrameBytes, right for every
// version and layer.
int32_t ComputeFrameLength(int32_t SampleRate, int32_t BitRate, bool Padding);
std::string GenreName(uint8_t Genre);

// Keeps the window responsive during long searches. The program installs its message pump;
// without one, PumpMessages does nothing.
void SetMessagePump(std::function<void()> pump);
void PumpMessages();
