// Media readers against bare I/O: generates 500 song files (Ogg Vorbis and MPEG audio, some with
// ID3v2 tags, most MP3s with an ID3v1 tag), then times reading their information with the
// readers against merely opening, seeking and reading the same regions the readers touch, the
// same number of times, without looking at the bytes. The readers may cost at most three times
// the baseline.
//
// Files have realistic sizes (2-8 MB), but only their heads and tails hold written bytes: the
// readers never look at the middle, so it is left as a hole instead of writing gigabytes.
#include "media/FileStream.h"
#include "media/MP3Util.h"
#include "media/OggVorbis.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFiles = 500;
constexpr int kRounds = 7;
constexpr double kAllowedRatio = 3.0;
constexpr size_t kWrittenEnds = 64 * 1024;

using Bytes = std::vector<uint8_t>;

void PutLE32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
void PutBE32(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; --i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
void PutText(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

// Where the readers look in one file, recorded while generating it.
struct FileLayout {
    std::string path;
    bool ogg = false;
    int64_t size = 0;
    int64_t tagSize = 0;      // ID3v2 tag, 0 when none
    int64_t tagFrames = 0;    // bytes of frames inside the tag (the rest is padding)
    int64_t commentEnd = 0;   // Ogg: end of the comment items, from the stream start
    int64_t commentMatch = 0; // Ogg: offset of the comment signature from the stream start
    int64_t lastPage = 0;     // Ogg: offset of the last page
    int64_t firstFrame = 0;   // MP3: offset of the first frame
    int32_t frameLength = 0;  // MP3
    uint32_t samples = 0;     // Ogg: granule of the last page
};

Bytes MakeID3v2(std::mt19937& rng, FileLayout& layout) {
    Bytes frames;
    const auto frame = [&frames](const char* id, const std::string& text) {
        PutText(frames, id);
        PutBE32(frames, static_cast<uint32_t>(text.size() + 1));
        frames.push_back(0);
        frames.push_back(0);
        frames.push_back(0);
        PutText(frames, text);
    };
    frame("TIT2", "A song title of ordinary length");
    frame("TPE1", "Some Artist");
    frame("TALB", "The Album");
    frame("TRCK", std::to_string(rng() % 20 + 1) + "/20");
    frame("TYER", "2004");
    frame("TCON", "(17)Rock");
    const size_t padding = 256 + rng() % 2048;
    const uint32_t body = static_cast<uint32_t>(frames.size() + padding);
    Bytes tag;
    PutText(tag, "ID3");
    tag.push_back(3);
    tag.push_back(0);
    tag.push_back(0);
    for (int shift : {21, 14, 7, 0}) {
        tag.push_back(static_cast<uint8_t>((body >> shift) & 0x7F));
    }
    tag.insert(tag.end(), frames.begin(), frames.end());
    tag.resize(tag.size() + padding, 0);
    layout.tagSize = static_cast<int64_t>(tag.size());
    layout.tagFrames = static_cast<int64_t>(frames.size());
    return tag;
}

Bytes OggPage(const Bytes& packet, uint64_t granule, uint32_t sequence) {
    Bytes b;
    PutText(b, "OggS");
    b.push_back(0);
    b.push_back(0);
    PutLE32(b, static_cast<uint32_t>(granule));
    PutLE32(b, static_cast<uint32_t>(granule >> 32));
    PutLE32(b, 0x5EED);
    PutLE32(b, sequence);
    PutLE32(b, 0);
    size_t rest = packet.size();
    Bytes lacing;
    while (rest >= 255) {
        lacing.push_back(255);
        rest -= 255;
    }
    lacing.push_back(static_cast<uint8_t>(rest));
    b.push_back(static_cast<uint8_t>(lacing.size()));
    b.insert(b.end(), lacing.begin(), lacing.end());
    b.insert(b.end(), packet.begin(), packet.end());
    return b;
}

Bytes Noise(std::mt19937& rng, size_t size) {
    Bytes b(size);
    for (uint8_t& byte : b) {
        byte = static_cast<uint8_t>(rng());
    }
    return b;
}

void WriteSparse(const FileLayout& layout, const Bytes& head, const Bytes& tail) {
    std::FILE* f = std::fopen(layout.path.c_str(), "wb");
    std::fwrite(head.data(), 1, head.size(), f);
    std::fseek(f, static_cast<long>(layout.size - static_cast<int64_t>(tail.size())), SEEK_SET);
    std::fwrite(tail.data(), 1, tail.size(), f);
    std::fclose(f);
}

FileLayout MakeOgg(std::mt19937& rng, const std::string& path) {
    FileLayout layout;
    layout.path = path;
    layout.ogg = true;
    layout.size = 2'000'000 + rng() % 4'000'000;
    Bytes head;
    if (rng() % 10 == 0) {
        head = MakeID3v2(rng, layout);
    }
    Bytes id;
    id.push_back(1);
    PutText(id, "vorbis");
    PutLE32(id, 0);
    id.push_back(2);
    PutLE32(id, 44100);
    PutLE32(id, 0);
    PutLE32(id, 128000 + 32000 * (rng() % 4));
    PutLE32(id, 0);
    id.push_back(0xB8);
    id.push_back(1);
    const Bytes idPage = OggPage(id, 0, 0);
    head.insert(head.end(), idPage.begin(), idPage.end());

    Bytes comments;
    comments.push_back(3);
    PutText(comments, "vorbis");
    const std::string vendor = "Xiph.Org libVorbis I 20200704 (Reducing Environment)";
    PutLE32(comments, static_cast<uint32_t>(vendor.size()));
    PutText(comments, vendor);
    const std::vector<std::string> items = {"TITLE=Song number " + std::to_string(rng() % 1000),
                                            "ARTIST=Some Band",
                                            "ALBUM=Live at the Hall",
                                            "TRACKNUMBER=" + std::to_string(rng() % 20 + 1),
                                            "DATE=2011",
                                            "GENRE=Rock",
                                            "COMMENT=Recorded on a rainy day",
                                            "ENCODER=bench"};
    PutLE32(comments, static_cast<uint32_t>(items.size()));
    for (const std::string& item : items) {
        PutLE32(comments, static_cast<uint32_t>(item.size()));
        PutText(comments, item);
    }
    layout.commentEnd = static_cast<int64_t>(idPage.size() + 27 + 1 + comments.size());
    layout.commentMatch = static_cast<int64_t>(idPage.size() + 27 + 1);
    comments.push_back(1);
    const Bytes commentPage = OggPage(comments, 0, 1);
    head.insert(head.end(), commentPage.begin(), commentPage.end());
    uint32_t sequence = 2;
    uint64_t granule = 0;
    while (head.size() < kWrittenEnds) {
        granule += 4096;
        const Bytes page = OggPage(Noise(rng, 4000 + rng() % 200), granule, sequence++);
        head.insert(head.end(), page.begin(), page.end());
    }
    // The tail: whole pages, the last one ending a few bytes before the end of the file so
    // that its header falls into one of the last windows.
    Bytes tail;
    layout.samples = static_cast<uint32_t>(layout.size / 16);
    uint64_t tailGranule = layout.samples - 40 * 4096;
    while (tail.size() < kWrittenEnds) {
        tailGranule += 4096;
        const Bytes page = OggPage(Noise(rng, 4000 + rng() % 200), tailGranule, sequence++);
        tail.insert(tail.end(), page.begin(), page.end());
    }
    const Bytes last = OggPage(Noise(rng, 3000 + rng() % 1000), layout.samples, sequence);
    layout.lastPage = layout.size - static_cast<int64_t>(last.size());
    tail.insert(tail.end(), last.begin(), last.end());
    WriteSparse(layout, head, tail);
    return layout;
}

FileLayout MakeMP3(std::mt19937& rng, const std::string& path) {
    FileLayout layout;
    layout.path = path;
    layout.size = 3'000'000 + rng() % 5'000'000;
    Bytes head;
    if (rng() % 2 == 0) {
        head = MakeID3v2(rng, layout);
    }
    static constexpr uint32_t kHeaders[] = {0xFFFB9000, 0xFFFBB000, 0xFFFBE000}; // 128, 192, 320
    static constexpr int32_t kLengths[] = {417, 626, 1044};
    const int kind = static_cast<int>(rng() % 3);
    layout.firstFrame = static_cast<int64_t>(head.size());
    layout.frameLength = kLengths[kind];
    // Realistic payload: random bytes, so stray 255s and false syncs occur as in real files.
    while (head.size() < kWrittenEnds) {
        PutBE32(head, kHeaders[kind]);
        const Bytes payload = Noise(rng, static_cast<size_t>(kLengths[kind] - 4));
        head.insert(head.end(), payload.begin(), payload.end());
    }
    Bytes tail = Noise(rng, kWrittenEnds);
    if (rng() % 10 != 0) {
        Bytes tag;
        PutText(tag, "TAG");
        const auto field = [&tag](const std::string& text, size_t width) {
            PutText(tag, text.substr(0, width));
            tag.resize(tag.size() + width - std::min(width, text.size()), 0);
        };
        field("A title", 30);
        field("An artist", 30);
        field("An album", 30);
        field("1998", 4);
        field("", 30);
        tag.push_back(static_cast<uint8_t>(rng() % 80));
        std::copy(tag.begin(), tag.end(), tail.end() - 128);
    }
    WriteSparse(layout, head, tail);
    return layout;
}

// The readers' work, with a check that they found what was generated.
bool ReadWithReaders(const std::vector<FileLayout>& files, TOggVorbis& ogg) {
    bool ok = true;
    for (const FileLayout& f : files) {
        if (f.ogg) {
            ok &= ogg.ReadFromFile(f.path) && ogg.Valid &&
                  ogg.Samples == static_cast<int32_t>(f.samples) && ogg.Genre == "Rock";
        } else {
            bool valid = false;
            TMP3Info info;
            ReadMP3Info(f.path, valid, info);
            ok &= valid && info.Header.Position == f.firstFrame && info.Duration > 0;
        }
    }
    return ok;
}

// The same opens, seeks and reads, without looking at the bytes.
void Touch(TFileStream& s, const std::string& path,
           std::initializer_list<std::pair<int64_t, int64_t>> regions) {
    static uint8_t sink[16384];
    if (!s.Open(path)) {
        return;
    }
    for (const auto& [offset, length] : regions) {
        s.Seek(offset);
        int64_t rest = length;
        while (rest > 0) {
            const auto n = static_cast<int32_t>(std::min<int64_t>(rest, sizeof sink));
            if (s.Read(sink, n) != n) {
                break;
            }
            rest -= n;
        }
    }
    s.Close();
}

void ReadBaseline(const std::vector<FileLayout>& files) {
    TFileStream s;
    for (const FileLayout& f : files) {
        if (f.ogg) {
            Touch(s, f.path, {{0, 10}});
            if (f.tagSize > 0) {
                Touch(s, f.path, {{10, f.tagFrames + 10}});
            }
            const int64_t t = f.tagSize;
            Touch(s, f.path, {{t + 28, 30}});
            Touch(s, f.path,
                  {{t, 250}, {t + f.commentMatch + 7, f.commentEnd - f.commentMatch - 7}});
            // The windows from the end back to the one holding the last page.
            TFileStream w;
            if (w.Open(f.path)) {
                uint8_t window[250];
                for (int k = 1; k <= 50; ++k) {
                    const int64_t start = f.size - 240 * k - 10;
                    w.Seek(start);
                    w.Read(window, 250);
                    if (start <= f.lastPage) {
                        w.Seek(f.lastPage + 6);
                        w.Read(window, 4);
                        break;
                    }
                }
                w.Close();
            }
        } else {
            Touch(s, f.path, {{0, f.firstFrame + 4}, {f.firstFrame + f.frameLength, 4}});
            struct stat st {};
            stat(f.path.c_str(), &st);
            Touch(s, f.path, {{f.size - 128, 128}});
        }
    }
}

double Seconds(const std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tavro-media-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::mt19937 rng(20260101);
    std::vector<FileLayout> files;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name =
            (dir / ("song" + std::to_string(i) + (i % 2 == 0 ? ".ogg" : ".mp3"))).string();
        files.push_back(i % 2 == 0 ? MakeOgg(rng, name) : MakeMP3(rng, name));
    }

    TOggVorbis ogg;
    const bool correct = ReadWithReaders(files, ogg); // also warms the page cache
    ReadBaseline(files);
    std::vector<double> readers;
    std::vector<double> baseline;
    for (int round = 0; round < kRounds; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        ReadBaseline(files);
        auto t1 = std::chrono::steady_clock::now();
        ReadWithReaders(files, ogg);
        auto t2 = std::chrono::steady_clock::now();
        baseline.push_back(Seconds(t1 - t0));
        readers.push_back(Seconds(t2 - t1));
    }
    std::filesystem::remove_all(dir);

    std::sort(readers.begin(), readers.end());
    std::sort(baseline.begin(), baseline.end());
    const double r = readers[kRounds / 2];
    const double b = baseline[kRounds / 2];
    const double ratio = r / b;
    std::printf("media readers: %d files (%d Ogg, %d MP3), median of %d rounds: readers %.1f ms, "
                "baseline %.1f ms, ratio %.2f (limit %.1f)%s\n",
                kFiles, (kFiles + 1) / 2, kFiles / 2, kRounds, r * 1000, b * 1000, ratio,
                kAllowedRatio, correct ? "" : "  RESULTS WRONG");
    return correct && ratio <= kAllowedRatio ? 0 : 1;
}
