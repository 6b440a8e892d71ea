// MPEG audio file information: the first confirmed frame, the playing time, the ID3v1 tag at
// the end and the genre names. Works on the raw bytes; decoding is the decoder library's job.
#include "media/MP3Util.h"

#include "media/MediaText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <utility>

namespace {

// Bit rates in kbit/s by bit-rate index 0..15 (0 = free format, 15 = forbidden: both 0).
constexpr int32_t kBitRates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}, // MPEG 1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},    // MPEG 1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},     // MPEG 1 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},    // MPEG 2/2.5 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}, // MPEG 2/2.5 Layer II, III
};

constexpr int32_t kSampleRates[3][4] = {
    {44100, 48000, 32000, 0}, // MPEG 1
    {22050, 24000, 16000, 0}, // MPEG 2
    {11025, 12000, 8000, 0},  // MPEG 2.5
};

constexpr std::array<const char*, 81> kGenres = {"Blues",
                                                 "Classic Rock",
                                                 "Country",
                                                 "Dance",
                                                 "Disco",
                                                 "Funk",
                                                 "Grunge",
                                                 "Hip-Hop",
                                                 "Jazz",
                                                 "Metal",
                                                 "New Age",
                                                 "Oldies",
                                                 "Other",
                                                 "Pop",
                                                 "R&B",
                                                 "Rap",
                                                 "Reggae",
                                                 "Rock",
                                                 "Techno",
                                                 "Industrial",
                                                 "Alternative",
                                                 "Ska",
                                                 "Death Metal",
                                                 "Pranks",
                                                 "Soundtrack",
                                                 "Euro-Techno",
                                                 "Ambient",
                                                 "Trip-Hop",
                                                 "Vocal",
                                                 "Jazz+Funk",
                                                 "Fusion",
                                                 "Trance",
                                                 "Classical",
                                                 "Instrumental",
                                                 "Acid",
                                                 "House",
                                                 "Game",
                                                 "Sound Clip",
                                                 "Gospel",
                                                 "Noise",
                                                 "Altern Rock",
                                                 "Bass",
                                                 "Soul",
                                                 "Punk",
                                                 "Space",
                                                 "Meditative",
                                                 "Instrumental Pop",
                                                 "Instrumental Rock",
                                                 "Ethnic",
                                                 "Gothic",
                                                 "Darkwave",
                                                 "Techno-Industrial",
                                                 "Electronic",
                                                 "Pop-Folk",
                                                 "Eurodance",
                                                 "Dream",
                                                 "Southern Rock",
                                                 "Comedy",
                                                 "Cult",
                                                 "Gangsta",
                                                 "Top 40",
                                                 "Christian Rap",
                                                 "Pop/Funk",
                                                 "Jungle",
                                                 "Native American",
                                                 "Cabaret",
                                                 "New Wave",
                                                 "Psychadelic",
                                                 "Rave",
                                                 "Showtunes",
                                                 "Trailer",
                                                 "Lo-Fi",
                                                 "Tribal",
                                                 "Acid Punk",
                                                 "Acid Jazz",
                                                 "Polka",
                                                 "Retro",
                                                 "Musical",
                                                 "Rock & Roll",
                                                 "Hard Rock",
                                                 "Unknown"};

constexpr int kSearchEndMargin = 96;
constexpr int kPumpInterval = 300;
// Past the ID3v2 tags, encoders and taggers leave junk before the first frame (padding, a
// second tag of another kind, the end of a cut-off file); 64 KB passes what is met in practice
// and stays fast.
constexpr int64_t kOpenSearchLimit = 65536;
// A free-format frame is at most this long (Layer III at 640 kbit/s and 32 kHz: 2881 bytes).
constexpr int32_t kMaxFreeFormatLength = 4096;
constexpr int32_t kMinFrameLength = 24;
// Bytes behind the last frame of a constant-rate file that are still taken as audio (a frame
// cut off, zero padding); more is a tag of another kind.
constexpr int64_t kTrailingTagSlack = 4096;
constexpr int kID3v1Size = 128;
constexpr int kMinimumTaggedSize = 192;

std::function<void()>& MessagePump() {
    static std::function<void()> pump;
    return pump;
}

bool ReadByte(TFileStream& stream, uint8_t& value) {
    return stream.Read(&value, 1) == 1;
}

// Packed DOS date and time (local time, two-second resolution); 0 outside 1980..2107.
int32_t DosDateTime(time_t modified) {
    std::tm local{};
    if (localtime_r(&modified, &local) == nullptr) {
        return 0;
    }
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) {
        return 0;
    }
    const uint32_t date =
        static_cast<uint32_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    const uint32_t time =
        static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    return static_cast<int32_t>(date << 16 | time);
}

std::string TagText(const uint8_t* bytes, size_t length) {
    size_t end = 0;
    while (end < length && bytes[end] != 0) {
        ++end;
    }
    return media::Trim(std::string_view(reinterpret_cast<const char*>(bytes), end));
}

} // namespace

void SetMessagePump(std::function<void()> pump) {
    MessagePump() = std::move(pump);
}

void PumpMessages() {
    if (MessagePump()) {
        MessagePump()();
    }
}

int32_t ComputeFrameLength(int32_t SampleRate, int32_t BitRate, bool Padding) {
    if (SampleRate < 1) {
        return 0;
    }
    return static_cast<int32_t>(static_cast<double>(BitRate) * 144000.0 / SampleRate +
                                (Padding ? 1 : 0));
}

bool IsFrameHeaderValid(const TFrameHeader& Header) {
    return Header.Version >= 1 && Header.Layer >= 1 && Header.SampleRate >= 1 &&
           Header.BitRate >= 1;
}

bool DecodeFrameHeader(uint32_t HeaderData, TFrameHeader& Header) {
    Header = TFrameHeader{};
    if ((HeaderData & 0xFFE00000u) != 0xFFE00000u) {
        return false;
    }
    static constexpr uint8_t kVersions[4] = {3, 0, 2, 1};
    static constexpr uint8_t kLayers[4] = {0, 3, 2, 1};
    Header.Version = kVersions[(HeaderData >> 19) & 3];
    if (Header.Version != 0) {
        Header.Layer = kLayers[(HeaderData >> 17) & 3];
        Header.SampleRate = kSampleRates[Header.Version - 1][(HeaderData >> 10) & 3];
        Header.NoCRC = ((HeaderData >> 16) & 1) != 0;
        Header.RightsFlag = ((HeaderData >> 3) & 1) != 0;
        Header.OriginalFlag = ((HeaderData >> 2) & 1) != 0;
        Header.ChannelMode = static_cast<uint8_t>((HeaderData >> 6) & 3);
        Header.Padding = ((HeaderData >> 9) & 1) != 0;
        if (Header.Layer != 0) {
            const int table = Header.Version == 1 ? Header.Layer - 1 : (Header.Layer == 1 ? 3 : 4);
            Header.BitRate = kBitRates[table][(HeaderData >> 12) & 15];
        }
        Header.FrameLength =
            static_cast<uint16_t>(FrameBytes(Header.Version, Header.Layer, Header.SampleRate,
                                             Header.BitRate * 1000, Header.Padding));
    }
    return IsFrameHeaderValid(Header);
}

bool ContinuesStream(const TFrameHeader& First, uint32_t HeaderData, TFrameHeader& Next) {
    const bool decoded = DecodeFrameHeader(HeaderData, Next);
    if (Next.Version != First.Version || Next.Layer != First.Layer ||
        Next.SampleRate != First.SampleRate || Next.SampleRate == 0) {
        return false;
    }
    if (!First.FreeFormat) {
        return decoded;
    }
    if (((HeaderData >> 12) & 15) != 0) {
        return false;
    }
    const int unit = First.Layer == 1 ? 4 : 1;
    Next.FrameLength = static_cast<uint16_t>(First.FrameLength - (First.Padding ? unit : 0) +
                                             (Next.Padding ? unit : 0));
    Next.BitRate = First.BitRate;
    Next.FreeFormat = true;
    return true;
}

namespace {

// A header whose bit-rate index is 0 (free format) has no length of its own: the next header
// of the same stream ends the frame. The stream stands just behind the header and is put back.
bool MeasureFreeFormat(TFileStream& stream, uint32_t h, TFrameHeader& header) {
    if (header.Version == 0 || header.Layer == 0 || header.SampleRate == 0 ||
        ((h >> 12) & 15) != 0) {
        return false;
    }
    const int64_t after = stream.Position();
    uint8_t ahead[kMaxFreeFormatLength];
    const int32_t got = stream.Read(ahead, kMaxFreeFormatLength);
    stream.Seek(after);
    constexpr uint32_t kSameStream = 0xFFFEFC00u; // sync, version, layer, bit-rate and rate index
    for (int32_t i = kMinFrameLength - 4; i + 4 <= got; ++i) {
        const uint32_t h2 = uint32_t{ahead[i]} << 24 | uint32_t{ahead[i + 1]} << 16 |
                            uint32_t{ahead[i + 2]} << 8 | ahead[i + 3];
        if ((h2 & kSameStream) == (h & kSameStream)) {
            const int32_t length = i + 4;
            const int32_t unpadded = length - (header.Padding ? (header.Layer == 1 ? 4 : 1) : 0);
            const int64_t bits = int64_t{unpadded} * 8 * header.SampleRate;
            header.BitRate = static_cast<int32_t>(
                (bits / SamplesPerFrame(header.Version, header.Layer) + 500) / 1000);
            header.FrameLength = static_cast<uint16_t>(length);
            header.FreeFormat = true;
            return IsFrameHeaderValid(header);
        }
    }
    return false;
}

bool DecodeCandidate(TFileStream& stream, uint32_t h, TFrameHeader& header) {
    return DecodeFrameHeader(h, header) || MeasureFreeFormat(stream, h, header);
}

// Steps over the ID3v2 tags at the start of the file, several in a row if need be; the size is
// in each header (syncsafe, plus the footer when its flag is set).
int64_t SkipID3v2Tags(TFileStream& stream) {
    int64_t pos = 0;
    uint8_t h[10];
    while (stream.Seek(pos) && stream.Read(h, 10) == 10 && std::memcmp(h, "ID3", 3) == 0 &&
           h[3] != 0xFF && h[4] != 0xFF && ((h[6] | h[7] | h[8] | h[9]) & 0x80) == 0) {
        const int64_t body = int64_t{h[6]} << 21 | int64_t{h[7]} << 14 | h[8] << 7 | h[9];
        pos += 10 + body + ((h[5] & 0x10) != 0 ? 10 : 0);
    }
    return pos;
}

bool FindFrameWithin(TFileStream& Stream, int64_t Limit, TFrameHeader& Header) {
    TFrameHeader confirmation;
    const int64_t start = Stream.Position();
    const int64_t size = Stream.Size();
    const int64_t end = start + Limit;
    const auto inWindow = [&] {
        return Stream.Position() < size - kSearchEndMargin && Stream.Position() < end;
    };
    Header.BitRate = 0;
    for (;;) {
        uint8_t byte = 0;
        // A 255 met beyond the limit could not be taken anyway (below): the byte search stops
        // there instead of reading through megabytes of a file that holds no frame.
        do {
            if (!ReadByte(Stream, byte)) {
                return false;
            }
        } while (byte != 255 && Stream.Position() < size - (kSearchEndMargin + 1) &&
                 Stream.Position() < end);
        if (byte != 255) {
            return false;
        }
        uint8_t rest[3];
        if (Stream.Read(rest, 3) != 3) {
            return false;
        }
        uint32_t h = 0xFF000000u | uint32_t{rest[0]} << 16 | uint32_t{rest[1]} << 8 | rest[2];
        // When the byte search ran past the limit, no header is examined in this pass and the
        // one in Header is still the earlier, unconfirmed candidate: taking it for the bytes at
        // the new position would accept a frame beyond the limit, so the search ends here.
        if (!inWindow()) {
            return false;
        }
        while (inWindow()) {
            if ((h >> 24) == 255 && DecodeCandidate(Stream, h, Header)) {
                break;
            }
            if (!ReadByte(Stream, byte)) {
                return false;
            }
            h = h << 8 | byte;
            if (Stream.Position() % kPumpInterval == 0) {
                PumpMessages();
            }
        }
        if (!IsFrameHeaderValid(Header)) {
            return false;
        }
        Header.Position = static_cast<int32_t>(Stream.Position() - 4);
        const int64_t next = int64_t{Header.Position} + Header.FrameLength;
        if (size - next + 2 * int64_t{Header.NoCRC} > 0 && Stream.Seek(next)) {
            uint8_t bytes[4];
            if (Stream.Read(bytes, 4) == 4) {
                const uint32_t h2 = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 |
                                    uint32_t{bytes[2]} << 8 | bytes[3];
                if (ContinuesStream(Header, h2, confirmation)) {
                    return true;
                }
            }
        }
        Stream.Seek(int64_t{Header.Position} + 1);
        if (!inWindow()) {
            return IsFrameHeaderValid(confirmation);
        }
    }
}

} // namespace

bool FindFrame(TFileStream& Stream, uint16_t Limit, TFrameHeader& Header) {
    return FindFrameWithin(Stream, Limit, Header);
}

void ReadMP3Info(const std::string& FileName, bool& Valid, TMP3Info& Info) {
    Valid = false;
    Info = TMP3Info{};
    {
        TFileStream stream;
        if (!stream.Open(FileName)) {
            return;
        }
        const int64_t afterTags = SkipID3v2Tags(stream);
        Valid = stream.Seek(afterTags) && FindFrameWithin(stream, kOpenSearchLimit, Info.Header);
        // A tag whose size is damaged points anywhere; the frames are then searched for from
        // the start, as before tags were known.
        if (!Valid && afterTags > 0) {
            Valid = stream.Seek(0) && FindFrameWithin(stream, kOpenSearchLimit, Info.Header);
        }
    }
    if (!Valid) {
        return;
    }
    // The file search: every regular file is found here, dot-files included. Treating those as
    // hidden (and so not found) would leave the size and the playing time 0 for a playable file.
    struct stat st {};
    if (stat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    const size_t slash = FileName.find_last_of('/');
    Info.FileName = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
    // Exactly read-only: not writable by its owner and not hidden (a dot-file).
    Info.ReadOnly = (st.st_mode & S_IWUSR) == 0 && !Info.FileName.starts_with('.');

    TFileStream stream;
    if (!stream.Open(FileName)) {
        return;
    }
    const int64_t size = stream.Size();
    Info.FileSize = static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
    if (size < kMinimumTaggedSize) {
        return;
    }
    Info.FileDate = DosDateTime(st.st_mtime);
    uint8_t tag[kID3v1Size];
    const bool haveTail =
        stream.Seek(size - kID3v1Size) && stream.Read(tag, kID3v1Size) == kID3v1Size;

    if (haveTail && std::memcmp(tag, "TAG", 3) == 0) {
        Info.HasTag = true;
        Info.Title = TagText(tag + 3, 30);
        Info.Artist = TagText(tag + 33, 30);
        Info.Album = TagText(tag + 63, 30);
        Info.Year.assign(reinterpret_cast<const char*>(tag + 93), 4);
        Info.Comment = TagText(tag + 97, 30);
        Info.Genre = tag[127];
    }
    const int64_t dataEnd = size - (Info.HasTag ? kID3v1Size : 0);
    Info.Length = MeasureMP3(stream, Info.Header, dataEnd);
    const TMP3Length& length = Info.Length;
    Info.AverageBitRate = Info.Header.BitRate * 1000;
    if (length.Samples > 0 && (length.FromHeader || !length.Constant)) {
        const int64_t ms = length.Samples * 1000 / Info.Header.SampleRate;
        Info.Duration = static_cast<int32_t>(std::min<int64_t>(ms, INT32_MAX));
        if (ms > 0 && !length.Constant) {
            Info.AverageBitRate = static_cast<int32_t>(
                std::min<int64_t>(length.AudioBytes * 8 * 1000 / ms, INT32_MAX));
        }
    } else if (Info.Header.BitRate != 0) {
        // Constant bit rate: the bytes give the time, as they always have; but a tag appended
        // behind the frames (APE, Lyrics, a picture) is no audio.
        int64_t audio = dataEnd - Info.Header.Position;
        if (length.AudioBytes > 0 && audio - length.AudioBytes > kTrailingTagSlack) {
            audio = length.AudioBytes;
        }
        Info.Duration = static_cast<int32_t>(audio * 8 / Info.Header.BitRate);
    }
}

std::string GenreName(uint8_t Genre) {
    return Genre < kGenres.size() ? kGenres[Genre] : "Invalid Genre Number";
}
