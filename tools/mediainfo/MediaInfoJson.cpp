// Formats the results of the media readers as JSON for the mediainfo developer tool.
#include "MediaInfoJson.h"

#include "engine/FlacStream.h"
#include "engine/OpusStream.h"
#include "engine/SongFormats.h"
#include "media/ID3v2.h"
#include "media/MP3Util.h"
#include "media/OggVorbis.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace mediainfo {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when the byte there does not
// start one.
size_t ValidSequenceLength(std::string_view text, size_t i) {
    const auto at = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t b = at(i);
    if (b < 0x80) {
        return 1;
    }
    size_t length = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = b == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || at(i + 1) < low || at(i + 1) > high) {
        return 0;
    }
    for (size_t k = 2; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

class Object {
public:
    Object& Raw(const char* name, const std::string& json) {
        m_text += m_text.empty() ? "{" : ", ";
        m_text += JsonString(name);
        m_text += ": ";
        m_text += json;
        return *this;
    }
    Object& Text(const char* name, const std::string& value) {
        return Raw(name, JsonString(value));
    }
    Object& Number(const char* name, int64_t value) { return Raw(name, std::to_string(value)); }
    Object& Flag(const char* name, bool value) { return Raw(name, value ? "true" : "false"); }
    std::string Done() const { return m_text.empty() ? "{}" : m_text + "}"; }

private:
    std::string m_text;
};

std::string DescribeOgg(const std::string& fileName) {
    TOggVorbis ogg;
    const bool result = ogg.ReadFromFile(fileName);
    return Object()
        .Flag("result", result)
        .Flag("Valid", ogg.Valid)
        .Number("FileSize", ogg.FileSize)
        .Number("Channels", ogg.Channels)
        .Number("SampleRate", ogg.SampleRate)
        .Number("NominalBitRate", ogg.NominalBitRate)
        .Number("Samples", ogg.Samples)
        .Text("Title", ogg.Title)
        .Text("Artist", ogg.Artist)
        .Text("Album", ogg.Album)
        .Number("Track", ogg.Track)
        .Text("Date", ogg.Date)
        .Text("Genre", ogg.Genre)
        .Text("Comment", ogg.Comment)
        .Text("Vendor", ogg.Vendor)
        .Done();
}

std::string DescribeID3v2(const std::string& fileName) {
    TID3v2 tag;
    const bool result = tag.ReadFromFile(fileName);
    return Object()
        .Flag("result", result)
        .Flag("Exists", tag.Exists)
        .Number("VersionID", tag.VersionID)
        .Number("Size", tag.Size)
        .Text("Title", tag.Title)
        .Text("Artist", tag.Artist)
        .Text("Album", tag.Album)
        .Number("Track", tag.Track)
        .Text("Year", tag.Year)
        .Text("Genre", tag.Genre)
        .Text("Comment", tag.Comment)
        .Text("Composer", tag.Composer)
        .Text("Encoder", tag.Encoder)
        .Text("RightsNotice", tag.RightsNotice)
        .Text("Language", tag.Language)
        .Text("Link", tag.Link)
        .Done();
}

std::string DescribeMP3(const std::string& fileName) {
    bool valid = false;
    TMP3Info info;
    ReadMP3Info(fileName, valid, info);
    const TFrameHeader& h = info.Header;
    const std::string header = Object()
                                   .Number("Position", h.Position)
                                   .Number("Version", h.Version)
                                   .Number("Layer", h.Layer)
                                   .Number("SampleRate", h.SampleRate)
                                   .Number("BitRate", h.BitRate)
                                   .Number("ChannelMode", h.ChannelMode)
                                   .Flag("RightsFlag", h.RightsFlag)
                                   .Flag("OriginalFlag", h.OriginalFlag)
                                   .Flag("NoCRC", h.NoCRC)
                                   .Flag("Padding", h.Padding)
                                   .Number("FrameLength", h.FrameLength)
                                   .Done();
    return Object()
        .Flag("valid", valid)
        .Text("FileName", info.FileName)
        .Number("FileSize", info.FileSize)
        .Flag("ReadOnly", info.ReadOnly)
        .Number("Duration", info.Duration)
        .Number("AverageBitRate", info.AverageBitRate)
        .Flag("HasTag", info.HasTag)
        .Text("Title", info.Title)
        .Text("Artist", info.Artist)
        .Text("Album", info.Album)
        .Text("Comment", info.Comment)
        .Text("Year", info.Year)
        .Number("Genre", info.Genre)
        .Text("GenreName", GenreName(info.Genre))
        .Raw("Header", header)
        .Done();
}

// FLAC and Opus have no reader of their own in media/: their streams read the headers.
std::string DescribeStream(const TStreamInfo& info, std::optional<int64_t> bitsPerSample,
                           int64_t samples) {
    Object object;
    object.Flag("opened", true)
        .Number("FileSize", info.FileSize)
        .Number("Channels", info.Channels)
        .Number("SampleRate", info.SampleRate);
    if (bitsPerSample) {
        object.Number("BitsPerSample", *bitsPerSample);
    }
    return object.Number("Samples", samples)
        .Number("BitRate", info.BitRate)
        .Number("Duration", info.Duration)
        .Done();
}

std::string DescribeFlac(const std::string& fileName) {
    const std::unique_ptr<TFlacStream> stream = TFlacStream::Open(fileName);
    if (!stream) {
        return Object().Flag("opened", false).Done();
    }
    return DescribeStream(stream->Info(), stream->BitsPerSample(),
                          static_cast<int64_t>(stream->TotalSamples()));
}

std::string DescribeOpus(const std::string& fileName) {
    const std::unique_ptr<TOpusStream> stream = TOpusStream::Open(fileName);
    if (!stream) {
        return Object().Flag("opened", false).Done();
    }
    return DescribeStream(stream->Info(), std::nullopt, stream->TotalSamples());
}

// The player's verdict: whether it opens the song, through the same path and with the decoder
// libraries found as the program finds them, and the length it will play.
std::string DescribePlayer(const std::string& fileName) {
    TOggVorbis oggInfo;
    const std::unique_ptr<TSongStream> stream =
        OpenSongStream(fileName, TUsableFormats::Loaded(), oggInfo);
    return Object()
        .Flag("opened", stream != nullptr)
        .Number("length_ms", stream != nullptr ? stream->Info().Duration : 0)
        .Done();
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    size_t i = 0;
    while (i < text.size()) {
        const size_t length = ValidSequenceLength(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        const char c = text[i++];
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string DescribeFile(const std::string& fileName) {
    return Object()
        .Text("file", fileName)
        .Raw("ogg", DescribeOgg(fileName))
        .Raw("id3v2", DescribeID3v2(fileName))
        .Raw("mp3", DescribeMP3(fileName))
        .Raw("player", DescribePlayer(fileName))
        .Raw("flac", DescribeFlac(fileName))
        .Raw("opus", DescribeOpus(fileName))
        .Done();
}

} // namespace mediainfo
