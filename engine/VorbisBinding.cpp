// Binding of Vorbis.DLL.
#include "engine/VorbisBinding.h"

#include "engine/LibraryBinding.h"

TvbEncOpen vbEncOpen = nullptr;
TvbEncWrite vbEncWrite = nullptr;
TvbEncClose vbEncClose = nullptr;
TvbDecOpen vbDecOpen = nullptr;
TvbDecRead vbDecRead = nullptr;
TvbDecSeek vbDecSeek = nullptr;
TvbDecClose vbDecClose = nullptr;
TvbVersion vbVersion = nullptr;

// The library keeps its decoder pointer in its own part of the state record, after the fields
// the player reads; the record must have room for it.
static_assert(TVbDecState::kChannels + sizeof(int16_t) <= 40);
static_assert(40 + sizeof(void*) <= 258);

namespace {

TLibraryBinding& Binding() {
    // The encoder is never called by the player, so only the decoder and the version decide.
    static TLibraryBinding binding("Vorbis.DLL", {
                                                     {"vbEncOpen", &vbEncOpen, false},
                                                     {"vbEncWrite", &vbEncWrite, false},
                                                     {"vbEncClose", &vbEncClose, false},
                                                     {"vbDecOpen", &vbDecOpen, true},
                                                     {"vbDecRead", &vbDecRead, true},
                                                     {"vbDecSeek", &vbDecSeek, true},
                                                     {"vbDecClose", &vbDecClose, true},
                                                     {"vbVersion", &vbVersion, true},
                                                 });
    return binding;
}

std::string TwoDigitsBelowTen(unsigned value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

} // namespace

std::string VorbisVersionText(const TVbVersion& v) {
    return "Ver " + std::to_string(v.Major()) + "." + TwoDigitsBelowTen(v.Minor()) +
           " (Engine Ver : " + std::to_string(v.EngineMajor()) + "." +
           TwoDigitsBelowTen(v.EngineMinor()) + ", Date : " + std::to_string(v.Year()) + "-" +
           std::to_string(v.Month()) + "-" + std::to_string(v.Day()) + ")";
}

bool LoadVorbisLib() {
    return Binding().Load();
}

bool VorbisLibLoaded() {
    return Binding().Loaded();
}

void FreeVorbisLib() {
    Binding().Free();
}
