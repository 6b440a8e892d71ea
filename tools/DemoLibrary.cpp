// The demo library: four pieces written as scores below, rendered by a small additive
// synthesiser and encoded with the test-media encoders.
#include "tools/DemoLibrary.h"

#include "media/MP3Util.h"
#include "platform/ProgramDir.h"
#include "platform/TimeText.h"
#include "tools/TestMedia.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace demolibrary {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// --- Scores -----------------------------------------------------------------------------

// A note of a voice: when it starts and how long it lasts (in beats), its pitch as a MIDI
// note number (60 = middle C; -1 a rest) and how hard it is played (0..1).
struct Note {
    double beat;
    double beats;
    int pitch;
    double velocity;
};

// "E5:1 G5:0.5 r:1 ..." -> notes one after the other, starting at `start`.
std::vector<Note> Phrase(const std::string& text, double start, double velocity) {
    static const std::map<char, int> kSteps = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                               {'G', 7}, {'A', 9}, {'B', 11}};
    std::vector<Note> notes;
    std::istringstream in(text);
    std::string token;
    double beat = start;
    while (in >> token) {
        if (token == "|") { // a bar line, for the reader of the score
            continue;
        }
        const size_t colon = token.find(':');
        const std::string name = token.substr(0, colon);
        const double beats = std::stod(token.substr(colon + 1));
        if (name != "r") {
            size_t at = 1;
            int pitch = kSteps.at(name[0]);
            if (name[at] == '#') {
                ++pitch, ++at;
            } else if (name[at] == 'b') {
                --pitch, ++at;
            }
            pitch += 12 * (std::stoi(name.substr(at)) + 1);
            notes.push_back({beat, beats, pitch, velocity});
        }
        beat += beats;
    }
    return notes;
}

// A chord by its root (MIDI number) and quality.
struct Chord {
    int root;
    bool minor;
    bool seventh = false;
    std::array<int, 3> Tones() const { return {root, root + (minor ? 3 : 4), root + 7}; }
};

Chord ChordOf(const std::string& name) {
    static const std::map<char, int> kSteps = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                               {'G', 7}, {'A', 9}, {'B', 11}};
    int root = 48 + kSteps.at(name[0]); // the octave below middle C
    size_t at = 1;
    if (at < name.size() && name[at] == '#') {
        ++root, ++at;
    }
    const bool minor = at < name.size() && name[at] == 'm';
    return {root, minor, name.back() == '7'};
}

// The timbre of a voice: the strengths of its harmonics, how fast the higher ones fade, its
// envelope (attack, decay to the sustain level, release, in seconds) and a little vibrato.
struct Timbre {
    std::vector<double> partials;
    double partialDecay; // 1/s per harmonic number: higher harmonics fade faster
    double attack, decay, sustain, release;
    double vibratoDepth = 0.0; // fraction of the frequency
    double vibratoRate = 5.0;  // Hz
};

const Timbre kFlute{{1.0, 0.35, 0.15, 0.06}, 0.3, 0.04, 0.25, 0.7, 0.25, 0.004, 5.2};
const Timbre kMusicBox{{1.0, 0.0, 0.45, 0.0, 0.2, 0.0, 0.1}, 1.6, 0.004, 0.9, 0.0, 0.6};
const Timbre kWarmLead{{1.0, 0.5, 0.33, 0.25, 0.2, 0.16}, 0.8, 0.06, 0.4, 0.65, 0.5, 0.005, 4.5};
const Timbre kPluck{{1.0, 0.6, 0.4, 0.25, 0.15, 0.1}, 2.5, 0.003, 0.5, 0.0, 0.25};
const Timbre kBass{{1.0, 0.4, 0.12}, 1.2, 0.01, 0.3, 0.55, 0.15};
const Timbre kPad{{1.0, 0.25, 0.08}, 0.1, 0.35, 0.6, 0.75, 0.8};

struct Voice {
    const Timbre* timbre;
    std::vector<Note> notes;
    double gain;
    double pan; // -1 left .. 1 right
};

struct Score {
    double bpm;
    int beatsPerBar;
    double lengthSeconds; // of the file: the music, its last echoes and a little silence
    bool drums;
    std::vector<Voice> voices;
};

// The accompaniment of a progression of one chord per bar: a bass on the bar's first beat
// and (in 4/4) its third, sustained chords or, with `arpeggio`, broken chords in eighths.
void Accompany(Score& score, const std::vector<std::string>& bars, bool arpeggio) {
    Voice bass{&kBass, {}, 0.55, 0.0};
    Voice chords{arpeggio ? &kPluck : &kPad, {}, arpeggio ? 0.22 : 0.16, 0.35};
    const int beats = score.beatsPerBar;
    for (size_t bar = 0; bar < bars.size(); ++bar) {
        const Chord chord = ChordOf(bars[bar]);
        const double start = static_cast<double>(bar) * beats;
        if (beats == 3) {
            bass.notes.push_back({start, 1.0, chord.root - 12, 0.9});
            for (int b = 1; b < 3; ++b) {
                for (int tone : chord.Tones()) {
                    chords.notes.push_back({start + b, 0.9, tone + 12, 0.55});
                }
            }
            continue;
        }
        bass.notes.push_back({start, 1.8, chord.root - 12, 0.95});
        bass.notes.push_back({start + 2, 1.8, chord.root - 12 + (bar % 2 ? 7 : 0), 0.8});
        if (arpeggio) {
            const auto tones = chord.Tones();
            const int pattern[8] = {0, 1, 2, 1, 0, 1, 2, 1};
            for (int e = 0; e < 8; ++e) {
                chords.notes.push_back({start + 0.5 * e, 0.5,
                                        tones[static_cast<size_t>(pattern[e])] + 12,
                                        e % 2 ? 0.5 : 0.7});
            }
        } else {
            for (int tone : chord.Tones()) {
                chords.notes.push_back({start, beats - 0.1, tone + 12, 0.6});
            }
            if (chord.seventh) {
                chords.notes.push_back({start, beats - 0.1, chord.root + 22, 0.4});
            }
        }
    }
    score.voices.push_back(std::move(bass));
    score.voices.push_back(std::move(chords));
}

// Repeats of a melody: the second time one octave lower and softer, as a counter-voice
// beside the first.
void AddMelody(Score& score, const Timbre& timbre, const std::string& text, int repeats,
               double gain, bool counterVoice) {
    Voice lead{&timbre, {}, gain, -0.2};
    Voice counter{&timbre, {}, gain * 0.55, 0.45};
    double length = 0.0;
    for (const Note& n : Phrase(text, 0.0, 1.0)) {
        length = std::max(length, n.beat + n.beats);
    }
    length = std::ceil(length / score.beatsPerBar) * score.beatsPerBar;
    for (int r = 0; r < repeats; ++r) {
        for (Note n : Phrase(text, r * length, r % 2 ? 0.85 : 1.0)) {
            lead.notes.push_back(n);
            if (counterVoice && r % 2 == 1) {
                n.pitch -= 12;
                n.velocity = 0.8;
                counter.notes.push_back(n);
            }
        }
    }
    score.voices.push_back(std::move(lead));
    if (!counter.notes.empty()) {
        score.voices.push_back(std::move(counter));
    }
}

std::vector<std::string> Repeat(const std::vector<std::string>& bars, int times) {
    std::vector<std::string> all;
    for (int i = 0; i < times; ++i) {
        all.insert(all.end(), bars.begin(), bars.end());
    }
    return all;
}

Score MorningWalk() {
    Score s{104.0, 4, 41.5, true, {}};
    AddMelody(s, kFlute,
              "E5:1 G5:1 E5:0.5 D5:0.5 C5:1 | D5:1 B4:1 G4:2 | C5:1 E5:1 A5:1 G5:1 | "
              "F5:1.5 E5:0.5 D5:1 C5:1 | E5:1 G5:1 C6:1 B5:0.5 A5:0.5 | G5:1 D5:1 B4:1 D5:1 | "
              "C5:1 A4:1 F5:1 E5:0.5 D5:0.5 | C5:3 r:1",
              2, 0.5, true);
    std::vector<std::string> bars = Repeat({"C", "G", "Am", "F", "C", "G", "F", "C"}, 2);
    bars.push_back("C");
    Accompany(s, bars, true);
    s.voices.push_back({&kFlute, Phrase("C5:4", 64.0, 0.8), 0.4, 0.0});
    return s;
}

Score LanternWaltz() {
    Score s{138.0, 3, 35.5, false, {}};
    AddMelody(s, kMusicBox,
              "E5:2 A5:1 | F5:1 E5:1 D5:1 | D5:2 B4:1 | C5:2 E5:1 | A5:2 G5:0.5 F5:0.5 | "
              "F5:1 E5:1 D5:1 | E5:1.5 D5:0.5 B4:1 | A4:3",
              3, 0.55, true);
    std::vector<std::string> bars = Repeat({"Am", "Dm", "G", "C", "F", "Dm", "E", "Am"}, 3);
    bars.push_back("Am");
    Accompany(s, bars, false);
    s.voices.push_back({&kMusicBox, Phrase("A4:3", 72.0, 0.9), 0.5, 0.0});
    return s;
}

Score HarbourLights() {
    Score s{88.0, 4, 49.5, false, {}};
    AddMelody(s, kWarmLead,
              "F#5:2 E5:1 D5:1 | D5:1 B4:1 F#5:2 | G5:1.5 F#5:0.5 E5:1 D5:1 | E5:3 r:1 | "
              "A5:2 F#5:1 A5:1 | B5:1 A5:1 F#5:1 D5:1 | E5:1 G5:1 F#5:1 E5:1 | "
              "C#5:2 E5:1 A4:1",
              2, 0.45, true);
    std::vector<std::string> bars = Repeat({"D", "Bm", "G", "A7", "D", "Bm", "Em", "A7"}, 2);
    bars.push_back("D");
    Accompany(s, bars, false);
    s.voices.push_back({&kWarmLead, Phrase("D5:4", 64.0, 0.9), 0.45, 0.0});
    return s;
}

Score LittleClockwork() {
    Score s{120.0, 4, 36.5, true, {}};
    AddMelody(s, kPluck,
              "E5:0.5 G5:0.5 B5:0.5 G5:0.5 E5:0.5 G5:0.5 B5:1 | "
              "C6:0.5 B5:0.5 G5:0.5 E5:0.5 G5:1 E5:1 | "
              "D5:0.5 G5:0.5 B5:0.5 D6:0.5 B5:1 G5:1 | A5:0.5 F#5:0.5 D5:0.5 F#5:0.5 A5:2 | "
              "B5:1 A5:0.5 G5:0.5 F#5:1 E5:1 | E5:0.5 G5:0.5 C6:1 B5:1 G5:1 | "
              "F#5:1 A5:1 D6:1 C6:0.5 A5:0.5 | B5:2 E5:2",
              2, 0.5, true);
    std::vector<std::string> bars = Repeat({"Em", "C", "G", "D", "Em", "C", "D", "Em"}, 2);
    bars.push_back("Em");
    Accompany(s, bars, true);
    s.voices.push_back({&kPluck, Phrase("E5:4", 64.0, 0.9), 0.5, 0.0});
    return s;
}

// --- Synthesis ----------------------------------------------------------------------------

double Frequency(int pitch) {
    return 440.0 * std::pow(2.0, (pitch - 69) / 12.0);
}

// A sine table: the synthesiser reads it for every partial of every sample.
class SineTable {
public:
    SineTable() {
        for (size_t i = 0; i <= kSize; ++i) {
            m_table[i] = std::sin(kTwoPi * static_cast<double>(i) / kSize);
        }
    }
    // `phase` in turns, 0 <= phase < 1.
    double operator()(double phase) const {
        const double x = phase * kSize;
        const auto i = static_cast<size_t>(x);
        const double f = x - static_cast<double>(i);
        return m_table[i] + (m_table[i + 1] - m_table[i]) * f;
    }

private:
    static constexpr size_t kSize = 4096;
    std::array<double, kSize + 1> m_table{};
};

void RenderNote(const Timbre& t, const Note& note, double secondsPerBeat, double gain, double pan,
                std::vector<float>& mix) {
    static const SineTable sine;
    const double rate = kSampleRate;
    const double freq = Frequency(note.pitch);
    const auto first = static_cast<int64_t>(note.beat * secondsPerBeat * rate);
    const auto held = static_cast<int64_t>(note.beats * secondsPerBeat * rate);
    const auto release = static_cast<int64_t>(t.release * rate);
    const auto attack = std::max<int64_t>(static_cast<int64_t>(t.attack * rate), 1);
    const double left = gain * note.velocity * std::sqrt(0.5 * (1.0 - pan));
    const double right = gain * note.velocity * std::sqrt(0.5 * (1.0 + pan));
    const int64_t frames = static_cast<int64_t>(mix.size()) / 2;

    // Per partial: its phase (in turns), its step and how much it fades each sample. Partials
    // above the audible band of the file are left out.
    struct Partial {
        double amplitude, phase, step, fade, fadeStep;
    };
    std::vector<Partial> partials;
    for (size_t k = 0; k < t.partials.size(); ++k) {
        const double n = static_cast<double>(k + 1);
        if (t.partials[k] != 0.0 && freq * n < rate / 2.2) {
            partials.push_back(
                {t.partials[k], 0.0, freq * n / rate, 1.0, std::exp(-t.partialDecay * n / rate)});
        }
    }
    const double decayStep = std::exp(-3.0 / (std::max(t.decay, 1e-3) * rate));
    double decay = 1.0; // of the part above the sustain level, after the attack
    double releaseFrom = 0.0;
    for (int64_t i = 0; i < held + release && first + i < frames; ++i) {
        double env = 0.0;
        if (i < attack) {
            env = static_cast<double>(i) / static_cast<double>(attack);
        } else {
            env = t.sustain + (1.0 - t.sustain) * decay;
            decay *= decayStep;
        }
        if (i == held) {
            releaseFrom = env;
        }
        if (i >= held) {
            env = releaseFrom * (1.0 - static_cast<double>(i - held) /
                                           static_cast<double>(std::max<int64_t>(release, 1)));
        }
        const double time = static_cast<double>(i) / rate;
        const double vibrato = 1.0 + t.vibratoDepth * std::min(time * 2.0, 1.0) *
                                         sine(std::fmod(t.vibratoRate * time, 1.0));
        double v = 0.0;
        for (Partial& p : partials) {
            v += p.amplitude * p.fade * sine(p.phase);
            p.fade *= p.fadeStep;
            p.phase += p.step * vibrato;
            p.phase -= std::floor(p.phase);
        }
        v *= env;
        mix[static_cast<size_t>(2 * (first + i))] += static_cast<float>(v * left);
        mix[static_cast<size_t>(2 * (first + i) + 1)] += static_cast<float>(v * right);
    }
}

// A soft kick on the first and third beat and a closed hi-hat on every eighth.
void RenderDrums(const Score& s, double musicBeats, std::vector<float>& mix) {
    const double spb = 60.0 / s.bpm;
    const int64_t frames = static_cast<int64_t>(mix.size()) / 2;
    uint32_t noise = 0x1234567u;
    for (double beat = 0.0; beat < musicBeats; beat += 0.5) {
        const auto first = static_cast<int64_t>(beat * spb * kSampleRate);
        const bool kick = std::fmod(beat, 2.0) == 0.0;
        const double hat = std::fmod(beat, 1.0) == 0.0 ? 0.05 : 0.035;
        double last = 0.0;
        for (int64_t i = 0; i < kSampleRate / 4 && first + i < frames; ++i) {
            const double t = static_cast<double>(i) / kSampleRate;
            double v = 0.0;
            if (kick) {
                const double f = 50.0 + 70.0 * std::exp(-t * 30.0);
                v += 0.5 * std::exp(-t * 9.0) * std::sin(kTwoPi * f * t);
            }
            noise = noise * 1664525u + 1013904223u;
            const double white = static_cast<double>(noise >> 8) / (1u << 23) - 1.0;
            v += hat * std::exp(-t * 60.0) * (white - last); // the difference keeps the highs
            last = white;
            mix[static_cast<size_t>(2 * (first + i))] += static_cast<float>(v * 0.9);
            mix[static_cast<size_t>(2 * (first + i) + 1)] += static_cast<float>(v * 1.1);
        }
    }
}

std::vector<int16_t> Render(const Score& s) {
    const auto frames = static_cast<int64_t>(s.lengthSeconds * kSampleRate);
    std::vector<float> mix(static_cast<size_t>(frames) * 2, 0.0f);
    const double spb = 60.0 / s.bpm;
    double musicBeats = 0.0;
    for (const Voice& voice : s.voices) {
        for (const Note& note : voice.notes) {
            RenderNote(*voice.timbre, note, spb, voice.gain, voice.pan, mix);
            musicBeats = std::max(musicBeats, note.beat + note.beats);
        }
    }
    if (s.drums) {
        RenderDrums(s, musicBeats - s.beatsPerBar, mix);
    }

    // A dotted-eighth echo, crossing sides, for a little room around the instruments.
    const auto delay = static_cast<size_t>(0.75 * spb * kSampleRate) * 2;
    for (size_t i = delay; i < mix.size(); ++i) {
        const size_t other = (i % 2 == 0) ? i + 1 : i - 1;
        if (other >= delay) {
            mix[i] += 0.28f * mix[other - delay];
        }
    }

    float peak = 1e-6f;
    for (float v : mix) {
        peak = std::max(peak, std::fabs(v));
    }
    const double scale = 0.8 * 32767.0 / peak;
    const double fadeIn = 0.02 * kSampleRate;
    const double fadeOut = 1.5 * kSampleRate;
    const auto musicEnd = static_cast<double>(frames) - 0.3 * kSampleRate;
    std::vector<int16_t> pcm(mix.size());
    for (int64_t i = 0; i < frames; ++i) {
        const auto f = static_cast<double>(i);
        const double master = std::clamp(std::min(f / fadeIn, (musicEnd - f) / fadeOut), 0.0, 1.0);
        for (int ch = 0; ch < 2; ++ch) {
            const size_t at = static_cast<size_t>(2 * i + ch);
            pcm[at] = static_cast<int16_t>(std::lround(mix[at] * scale * master));
        }
    }
    return pcm;
}

Score ScoreOf(size_t index) {
    switch (index) {
    case 0:
        return MorningWalk();
    case 1:
        return LanternWaltz();
    case 2:
        return HarbourLights();
    default:
        return LittleClockwork();
    }
}

// --- Files ----------------------------------------------------------------------------------

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

bool WriteFile(const fs::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out.flush());
}

} // namespace

const std::vector<Piece>& Pieces() {
    static const std::vector<Piece> pieces = {
        {"Morning Walk", "Morning Walk.ogg"},
        {"Lantern Waltz", "Lantern Waltz.ogg"},
        {"Harbour Lights", "Harbour Lights.mp3"},
        {"Little Clockwork", "Little Clockwork.ogg"},
    };
    return pieces;
}

std::vector<int16_t> RenderPiece(size_t index) {
    return Render(ScoreOf(index));
}

std::vector<uint8_t> MakePicture() {
    // A harbour at dusk: a sky from deep blue to orange, a low sun and the sea below it with
    // the sun's reflection broken by waves.
    constexpr int kWidth = 201;
    constexpr int kHeight = 153;
    constexpr int kRowBytes = (kWidth * 3 + 3) & ~3;
    std::vector<uint8_t> bmp;
    bmp.push_back('B');
    bmp.push_back('M');
    PutLE(bmp, 54 + kRowBytes * kHeight, 4);
    PutLE(bmp, 0, 4);
    PutLE(bmp, 54, 4);
    PutLE(bmp, 40, 4);
    PutLE(bmp, kWidth, 4);
    PutLE(bmp, kHeight, 4); // bottom-up rows
    PutLE(bmp, 1, 2);
    PutLE(bmp, 24, 2);
    PutLE(bmp, 0, 4);
    PutLE(bmp, static_cast<uint32_t>(kRowBytes * kHeight), 4);
    PutLE(bmp, 2835, 4);
    PutLE(bmp, 2835, 4);
    PutLE(bmp, 0, 4);
    PutLE(bmp, 0, 4);
    const double horizon = kHeight * 0.62;
    const double sunX = kWidth * 0.62;
    const double sunY = horizon - 14.0;
    for (int row = kHeight - 1; row >= 0; --row) { // file order: bottom row first
        const auto y = static_cast<double>(row);
        for (int x = 0; x < kWidth; ++x) {
            double r = 0;
            double g = 0;
            double b = 0;
            const double dx = x - sunX;
            if (y < horizon) {
                const double t = y / horizon; // 0 at the top
                r = 20 + 230 * t * t;
                g = 24 + 120 * t * t;
                b = 90 - 40 * t;
                const double d = std::hypot(dx, y - sunY);
                if (d < 16.0) {
                    r = 255, g = 214 - d * 2, b = 120;
                } else {
                    const double glow = std::exp(-(d - 16.0) / 30.0) * 0.6;
                    r += (255 - r) * glow, g += (190 - g) * glow, b += (120 - b) * glow;
                }
            } else {
                const double t = (y - horizon) / (kHeight - horizon); // 0 at the horizon
                r = 30 - 20 * t;
                g = 50 - 20 * t;
                b = 110 - 40 * t;
                const double wave = std::sin(x * 0.21 + y * 1.3) * std::sin(y * 0.7 + x * 0.05);
                const double width = 10.0 + 30.0 * t;
                if (std::fabs(dx) < width && wave > 0.15) {
                    const double strength = (1.0 - std::fabs(dx) / width) * (1.0 - 0.6 * t);
                    r += (255 - r) * strength, g += (180 - g) * strength, b += (90 - b) * strength;
                }
                b += 25 * wave * (1.0 - t);
            }
            bmp.push_back(static_cast<uint8_t>(std::clamp(b, 0.0, 255.0)));
            bmp.push_back(static_cast<uint8_t>(std::clamp(g, 0.0, 255.0)));
            bmp.push_back(static_cast<uint8_t>(std::clamp(r, 0.0, 255.0)));
        }
        for (int pad = kWidth * 3; pad < kRowBytes; ++pad) {
            bmp.push_back(0);
        }
    }
    return bmp;
}

std::string CommaField(const std::string& field) {
    const bool quote = std::any_of(field.begin(), field.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == ' ' || c == '"' || c == ',' || (u >= 1 && u <= 31);
    });
    if (!quote) {
        return field;
    }
    std::string text = "\"";
    for (char c : field) {
        text += c;
        if (c == '"') {
            text += '"';
        }
    }
    return text + "\"";
}

bool BuildDemoLibrary(const fs::path& programDir, std::string& error) {
    if (platform::FindFileNoCase(programDir, "Database.DAT")) {
        return true;
    }
    const fs::path album = programDir / kAlbumName;
    std::error_code ec;
    fs::create_directories(album, ec);
    if (ec) {
        error = "cannot create " + album.string() + ": " + ec.message();
        return false;
    }

    std::string songs;
    for (size_t i = 0; i < Pieces().size(); ++i) {
        const Piece& piece = Pieces()[i];
        const fs::path file = album / piece.fileName;
        std::vector<int16_t> pcm = RenderPiece(i);
        const auto frames = static_cast<int64_t>(pcm.size() / kChannels);
        int64_t seconds = frames / kSampleRate;
        bool written = false;
        if (file.extension() == ".mp3") {
            testmedia::Mp3Spec spec;
            spec.bitRateKbps = 160;
            testmedia::Id3Tags tags;
            tags.title = piece.title;
            tags.artist = "TAVRO";
            tags.album = kAlbumName;
            tags.genre = 12; // Other
            spec.id3v1 = tags;
            spec.pcm = std::move(pcm);
            written = testmedia::WriteMp3(file, spec);
            // The length the player will find: it reads it from the file, not the samples.
            bool valid = false;
            TMP3Info info;
            ReadMP3Info(file.string(), valid, info);
            written = written && valid;
            seconds = info.Duration / 1000;
        } else {
            testmedia::OggSpec spec;
            spec.quality = 0.4f;
            spec.comments = {"TITLE=" + piece.title, "ARTIST=TAVRO",
                             std::string("ALBUM=") + kAlbumName, "GENRE=Other"};
            spec.pcm = std::move(pcm);
            written = testmedia::WriteOggVorbis(file, spec);
        }
        if (!written) {
            error = "cannot write " + file.string();
            return false;
        }
        for (const std::string& field : {piece.title, platform::TimeTextOfSeconds(seconds),
                                         std::to_string(seconds), piece.fileName}) {
            songs += (songs.empty() ? "" : ",") + CommaField(field);
        }
    }

    const std::vector<uint8_t> picture = MakePicture();
    if (!WriteFile(album / kPictureName, picture.data(), picture.size())) {
        error = "cannot write the album picture";
        return false;
    }

    // Whole or not at all: a library file that is there is never built again.
    const std::string text =
        std::string(kAlbumName) + "\r\n" + songs + "\r\n" + kPictureName + "\r\n";
    const fs::path temp = programDir / "Database.DAT.part";
    if (!WriteFile(temp, text.data(), text.size())) {
        fs::remove(temp, ec);
        error = "cannot write " + (programDir / "Database.DAT").string();
        return false;
    }
    fs::rename(temp, programDir / "Database.DAT", ec);
    if (ec) {
        fs::remove(temp, ec);
        error = "cannot write " + (programDir / "Database.DAT").string();
        return false;
    }
    return true;
}

} // namespace demolibrary
