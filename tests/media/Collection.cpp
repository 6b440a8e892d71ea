// The songs of the collection, each made by a command line of the real encoders or by our
// generator, and the reference decoders' length of any file.
#include "Collection.h"

#include "tools/TestMedia.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

namespace collection {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEncoders[] = {"lame", "oggenc", "vorbiscomment", "sox"};

bool Installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

void PutLE(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.put(static_cast<char>(value >> (8 * i)));
    }
}

// A WAV file of sliding tones, the encoders' input.
bool WriteWav(const fs::path& path, int channels, double seconds, uint32_t seed) {
    const auto frames = static_cast<int64_t>(44100 * seconds);
    const std::vector<int16_t> pcm =
        testmedia::MakePcm(channels, 44100, frames, testmedia::Content::Tones, seed);
    const auto bytes = static_cast<uint32_t>(pcm.size() * 2);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write("RIFF", 4);
    PutLE(out, 36 + bytes, 4);
    out.write("WAVEfmt ", 8);
    PutLE(out, 16, 4);
    PutLE(out, 1, 2);
    PutLE(out, static_cast<uint32_t>(channels), 2);
    PutLE(out, 44100, 4);
    PutLE(out, static_cast<uint32_t>(44100 * channels * 2), 4);
    PutLE(out, static_cast<uint32_t>(channels * 2), 2);
    PutLE(out, 16, 2);
    out.write("data", 4);
    PutLE(out, bytes, 4);
    out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
    return static_cast<bool>(out.flush());
}

// Random bytes; with `syncs`, the sync patterns of MPEG frames sprinkled in, as compressed
// pictures may have them.
std::string Noise(size_t size, uint32_t seed, bool syncs = true) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 7u;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(x >> 24);
        if (syncs && i % 997 == 0 && i + 4 < size) {
            bytes.replace(i, 4, "\xFF\xFB\x90\x00", 4);
            i += 3;
        }
    }
    return bytes;
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An ID3v2.3 tag with one picture frame of `pictureSize` bytes.
std::string PictureTag(size_t pictureSize) {
    std::string body =
        std::string("\0image/jpeg\0\x03\0", 14) + "\xFF\xD8\xFF\xE0" + Noise(pictureSize, 5);
    const auto frameSize = static_cast<uint32_t>(body.size());
    std::string frame = "APIC";
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame += static_cast<char>(frameSize >> shift);
    }
    frame += std::string(2, '\0') + body;
    const auto size = static_cast<uint32_t>(frame.size());
    std::string tag("ID3\x03\0\0", 6);
    for (int shift = 21; shift >= 0; shift -= 7) {
        tag += static_cast<char>((size >> shift) & 0x7F);
    }
    return tag + frame;
}

using Maker = std::function<bool(const fs::path& dir, const fs::path& out)>;

// Encodes the named WAV source with lame and the given options.
Maker Lame(const std::string& source, const std::string& options) {
    return [source, options](const fs::path& dir, const fs::path& out) {
        return Make(dir, source) &&
               Run("lame --quiet " + options + " " + Quoted(dir / source) + " " + Quoted(out));
    };
}

Maker Oggenc(const std::string& source, const std::string& options) {
    return [source, options](const fs::path& dir, const fs::path& out) {
        return Make(dir, source) &&
               Run("oggenc -Q " + options + " -o " + Quoted(out) + " " + Quoted(dir / source));
    };
}

// `front` + the song `song` + `back`.
Maker Around(const std::string& front, const std::string& song, const std::string& back = {}) {
    return [front, song, back](const fs::path& dir, const fs::path& out) {
        return Make(dir, song) && WriteFile(out, front + ReadFile(dir / song) + back);
    };
}

// Two songs one after the other, as `cat a.ogg b.ogg` makes a chained file.
Maker Chain(const std::string& first, const std::string& second) {
    return [first, second](const fs::path& dir, const fs::path& out) {
        return Make(dir, first) && Make(dir, second) &&
               WriteFile(out, ReadFile(dir / first) + ReadFile(dir / second));
    };
}

Maker Wav(int channels, double seconds, uint32_t seed) {
    return [=](const fs::path&, const fs::path& out) {
        return WriteWav(out, channels, seconds, seed);
    };
}

// A WAV of one steady tone per channel, made by sox: our generator writes at most two.
Maker SoxTones(int channels, const std::string& seconds) {
    return [=](const fs::path&, const fs::path& out) {
        std::string tones;
        for (int c = 0; c < channels; ++c) {
            tones += " sine " + std::to_string(220 + 110 * c);
        }
        return Run("sox -n -r 44100 -b 16 -c " + std::to_string(channels) + " " + Quoted(out) +
                   " synth " + seconds + tones);
    };
}

const std::vector<std::pair<std::string, Maker>>& Table() {
    static const std::vector<std::pair<std::string, Maker>> table = {
        {"4s.wav", Wav(2, 4.3, 1)},
        {"20s.wav", Wav(2, 20.0, 2)},
        {"30s.wav", Wav(2, 30.0, 3)},
        {"short.wav", Wav(2, 0.6, 4)},
        {"mono.wav", Wav(1, 3.7, 5)},
        {"cover.jpg",
         [](const fs::path&, const fs::path& out) {
             return WriteFile(out, "\xFF\xD8\xFF\xE0" + Noise(48 * 1024, 6));
         }},
        {"v0.mp3", Lame("4s.wav", "-V 0")},
        {"v2.mp3", Lame("4s.wav", "-V 2")},
        {"v4-20s.mp3", Lame("20s.wav", "-V 4")},
        {"v6.mp3", Lame("4s.wav", "-V 6")},
        {"v9.mp3", Lame("4s.wav", "-V 9")},
        {"abr.mp3", Lame("4s.wav", "--abr 128")},
        {"cbr128.mp3", Lame("4s.wav", "-b 128")},
        {"cbr320.mp3", Lame("4s.wav", "-b 320")},
        {"v4-cut.mp3",
         [](const fs::path& dir, const fs::path& out) {
             // An interrupted download: half the file, with the Xing header of the whole.
             if (!Make(dir, "v4-20s.mp3")) {
                 return false;
             }
             const std::string whole = ReadFile(dir / "v4-20s.mp3");
             return WriteFile(out, whole.substr(0, whole.size() / 2));
         }},
        {"v4-no-xing.mp3", Lame("20s.wav", "-V 4 -t")},
        {"cbr-no-xing.mp3", Lame("4s.wav", "-b 192 -t")},
        {"free-format.mp3", Lame("4s.wav", "--freeformat -b 200")},
        {"free-format-no-xing.mp3", Lame("4s.wav", "--freeformat -b 200 -t")},
        {"mpeg2-22k.mp3", Lame("4s.wav", "--resample 22.05 -V 4")},
        {"mpeg2-16k-no-xing.mp3", Lame("4s.wav", "--resample 16 -V 6 -t")},
        {"mpeg25-11k.mp3", Lame("4s.wav", "--resample 11.025 -V 4")},
        {"mpeg25-8k-cbr.mp3", Lame("4s.wav", "--resample 8 -b 16 -t")},
        {"mono.mp3", Lame("mono.wav", "-m m -V 4")},
        {"cover-48k.mp3",
         [](const fs::path& dir, const fs::path& out) {
             return Make(dir, "cover.jpg") &&
                    Lame("20s.wav", "-V 4 --ti " + Quoted(dir / "cover.jpg"))(dir, out);
         }},
        {"tag-1mb.mp3", Around(PictureTag(1200 * 1024), "v2.mp3")},
        {"junk.mp3", Around(Noise(3000, 7), "v6.mp3")},
        {"tag-and-junk.mp3", Around(PictureTag(9000) + Noise(700, 8), "v9.mp3")},
        {"concatenated.mp3", Chain("v2.mp3", "v6.mp3")},
        {"ape-tag.mp3",
         Around({}, "cbr-no-xing.mp3",
                "APETAGEX" + Noise(40000, 9, false) + "APETAGEX" + std::string(24, '\0'))},
        {"id3v1.mp3", Lame("4s.wav", "-V 4 --id3v1-only --tt Title --ta Artist --tg Rock")},
        {"vbri.mp3",
         [](const fs::path&, const fs::path& out) {
             testmedia::Mp3Spec spec;
             spec.frames = 44100 * 6;
             spec.vbr = true;
             spec.vbriFrame = true;
             return testmedia::WriteMp3(out, spec);
         }},
        {"short-v4.mp3", Lame("short.wav", "-V 4")},
        {"short-cbr.mp3", Lame("short.wav", "-b 128 -t")},
        {"q-1.ogg", Oggenc("4s.wav", "-q -1")},
        {"q3.ogg", Oggenc("4s.wav", "-q 3")},
        {"q6.ogg", Oggenc("4s.wav", "-q 6")},
        {"q10.ogg", Oggenc("4s.wav", "-q 10")},
        {"mono-22k.ogg", Oggenc("mono.wav", "--resample 22050 -q 2")},
        {"30s.ogg", Oggenc("30s.wav", "-q 0")},
        {"short.ogg", Oggenc("short.wav", "-q 4")},
        {"chained.ogg", Chain("q3.ogg", "q-1.ogg")},
        {"5.1.wav", SoxTones(6, "3")},
        {"3ch.wav", SoxTones(3, "2.5")},
        {"chained-formats.ogg", Chain("q3.ogg", "mono-22k.ogg")},
        {"surround-5.1.ogg", Oggenc("5.1.wav", "-q 3")},
        {"three-channels.ogg", Oggenc("3ch.wav", "-q 2")},
        {"picture.ogg",
         [](const fs::path& dir, const fs::path& out) {
             // A cover in METADATA_BLOCK_PICTURE: base64 text of about 200 KB in one comment.
             const std::string text(200 * 1024, 'Q');
             return Make(dir, "q3.ogg") && WriteFile(out, ReadFile(dir / "q3.ogg")) &&
                    WriteFile(dir / "comments.txt",
                              "METADATA_BLOCK_PICTURE=" + text + "\nTITLE=Cover\n") &&
                    Run("vorbiscomment -a -c " + Quoted(dir / "comments.txt") + " " + Quoted(out));
         }},
    };
    return table;
}

} // namespace

std::string MissingEncoder() {
    for (const char* tool : kEncoders) {
        if (!Installed(tool)) {
            return tool;
        }
    }
    return {};
}

std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& [name, maker] : Table()) {
        if (name.ends_with(".mp3") || name.ends_with(".ogg")) {
            names.push_back(name);
        }
    }
    return names;
}

bool Make(const fs::path& dir, const std::string& name) {
    if (fs::exists(dir / name)) {
        return true;
    }
    for (const auto& [known, maker] : Table()) {
        if (known == name) {
            return maker(dir, dir / name);
        }
    }
    return false;
}

int64_t ReferenceLengthMs(const fs::path& file) {
    if (file.extension() == ".ogg") {
        OggVorbis_File vf;
        if (ov_fopen(file.c_str(), &vf) != 0) {
            return -1;
        }
        // Each part of a chained file at its own rate.
        int64_t ms = 0;
        for (int link = 0; link < ov_streams(&vf); ++link) {
            const ogg_int64_t total = ov_pcm_total(&vf, link);
            const vorbis_info* info = ov_info(&vf, link);
            if (total < 0 || info == nullptr || info->rate <= 0) {
                ms = -1;
                break;
            }
            ms += total * 1000 / info->rate;
        }
        ov_clear(&vf);
        return ms;
    }
    mpg123_init();
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    if (h == nullptr) {
        return -1;
    }
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0);
    int64_t ms = -1;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_open(h, file.c_str()) == MPG123_OK &&
        mpg123_getformat(h, &rate, &channels, &encoding) == MPG123_OK &&
        mpg123_scan(h) == MPG123_OK) {
        const off_t samples = mpg123_length(h);
        ms = samples >= 0 && rate > 0 ? int64_t{samples} * 1000 / rate : -1;
    }
    mpg123_close(h);
    mpg123_delete(h);
    return ms;
}

} // namespace collection
