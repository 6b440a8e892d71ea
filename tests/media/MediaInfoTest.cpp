#include "MediaInfoJson.h"

#include "MediaFixtures.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <regex>

using namespace fixtures;

namespace {

std::string RunTool(const std::string& arguments) {
    const std::string command = std::string(TAVRO_PROGRAM_DIR) + "/mediainfo " + arguments;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    std::string out;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        out.append(chunk, got);
    }
    pclose(pipe);
    return out;
}

// The field names of one object level, in order ("Header" keeps its own object out).
std::vector<std::string> KeysOf(const std::string& object) {
    std::vector<std::string> keys;
    const std::regex key("\"([A-Za-z0-9]+)\": ");
    for (auto it = std::sregex_iterator(object.begin(), object.end(), key);
         it != std::sregex_iterator(); ++it) {
        keys.push_back((*it)[1]);
    }
    return keys;
}

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
    const size_t start = text.find(from);
    const size_t end = text.find(to, start);
    return start == std::string::npos || end == std::string::npos ? std::string()
                                                                  : text.substr(start, end - start);
}

} // namespace

TEST(MediaInfo, JsonStringEscapesAndReplacesInvalidBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"q\"b\\s", "\"q\\\"b\\\\s\""},
        {"a\nb\tc\x01", "\"a\\nb\\tc\\u0001\""},
        {std::string("z\0z", 3), "\"z\\u0000z\""},
        {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5",
         "\"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5\""},
        {"Caf\xE9", "\"Caf\xEF\xBF\xBD\""},
        {"\xC3", "\"\xEF\xBF\xBD\""},
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                 // overlong
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""}, // surrogate
        {"\xF5\x80\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(mediainfo::JsonString(text), json);
    }
}

TEST(MediaInfo, ToolPrintsOneLineWithTheReadersFieldsPerFile) {
    ScratchDir dir;
    Bytes mp3 = ID3v2Tag(3, {ID3v2Frame("TIT2", std::string("\0Tagged \"x\"", 11))}, 100);
    mp3.Append(MpegFrames(kMpeg1Layer3At128, 417, 5));
    mp3.Append(ID3v1Tag("Caf\xE9", "Band", "", "2001", "", 17));
    const std::string mp3File = dir.Write("song.mp3", mp3);
    const std::string oggFile =
        dir.Write("song.ogg", OggFile(VorbisIdentification(2, 44100, 128000),
                                      VorbisComments("vendor", {"TITLE=Caf\xC3\xA9"}), 1234));

    const std::string out = RunTool("'" + mp3File + "' '" + oggFile + "'");
    const size_t newline = out.find('\n');
    ASSERT_NE(newline, std::string::npos) << out;
    ASSERT_EQ(out.find('\n', newline + 1), out.size() - 1) << out;
    const std::string mp3Line = out.substr(0, newline);
    const std::string oggLine = out.substr(newline + 1);

    EXPECT_EQ(mp3Line.rfind("{\"file\": \"" + mp3File + "\", \"ogg\": {", 0), 0u) << mp3Line;
    const std::vector<std::string> oggKeys = {
        "result",         "Valid",   "FileSize", "Channels", "SampleRate",
        "NominalBitRate", "Samples", "Title",    "Artist",   "Album",
        "Track",          "Date",    "Genre",    "Comment",  "Vendor"};
    const std::vector<std::string> id3Keys = {
        "result", "Exists", "VersionID", "Size",     "Title",   "Artist",       "Album",    "Track",
        "Year",   "Genre",  "Comment",   "Composer", "Encoder", "RightsNotice", "Language", "Link"};
    const std::vector<std::string> mp3Keys = {
        "valid",      "FileName",   "FileSize",    "ReadOnly",   "Duration",     "AverageBitRate",
        "HasTag",     "Title",      "Artist",      "Album",      "Comment",      "Year",
        "Genre",      "GenreName",  "Header",      "Position",   "Version",      "Layer",
        "SampleRate", "BitRate",    "ChannelMode", "RightsFlag", "OriginalFlag", "NoCRC",
        "Padding",    "FrameLength"};
    std::vector<std::string> ogg = KeysOf(Between(mp3Line, "\"ogg\": ", ", \"id3v2\": "));
    ogg.erase(ogg.begin());
    EXPECT_EQ(ogg, oggKeys);
    std::vector<std::string> id3 = KeysOf(Between(mp3Line, "\"id3v2\": ", ", \"mp3\": "));
    id3.erase(id3.begin());
    EXPECT_EQ(id3, id3Keys);
    std::vector<std::string> mp3Fields = KeysOf(Between(mp3Line, "\"mp3\": ", ", \"player\": "));
    mp3Fields.erase(mp3Fields.begin());
    EXPECT_EQ(mp3Fields, mp3Keys);

    EXPECT_NE(mp3Line.find("\"Title\": \"Tagged \\\"x\\\"\""), std::string::npos) << mp3Line;
    EXPECT_NE(mp3Line.find("\"Title\": \"Caf\xEF\xBF\xBD\""), std::string::npos) << mp3Line;
    EXPECT_NE(mp3Line.find("\"valid\": true, \"FileName\": \"song.mp3\""), std::string::npos)
        << mp3Line;
    EXPECT_NE(mp3Line.find("\"Genre\": 17, \"GenreName\": \"Rock\""), std::string::npos) << mp3Line;
    EXPECT_NE(mp3Line.find("\"Header\": {\"Position\": 110, \"Version\": 1, \"Layer\": 3"),
              std::string::npos)
        << mp3Line;
    EXPECT_NE(oggLine.find("\"Valid\": true"), std::string::npos) << oggLine;
    EXPECT_NE(oggLine.find("\"Samples\": 1234"), std::string::npos) << oggLine;
    EXPECT_NE(oggLine.find("\"Title\": \"Caf\xC3\xA9\""), std::string::npos) << oggLine;
    EXPECT_NE(oggLine.find("\"mp3\": {\"valid\": false"), std::string::npos) << oggLine;
}
