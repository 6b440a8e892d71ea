// The song probe.
#include "engine/SongProbe.h"

#include "engine/SongFormats.h"
#include "media/OggVorbis.h"
#include "platform/RegularFile.h"

std::optional<uint32_t> ProbeSongLength(const std::string& path) {
    if (!platform::IsReadableRegularFile(path)) {
        return std::nullopt;
    }
    // The libraries stay loaded once loaded, as they do for the player.
    TOggVorbis oggInfo;
    const std::unique_ptr<TSongStream> stream =
        OpenSongStream(path, TUsableFormats::Loaded(), oggInfo);
    if (!stream) {
        return std::nullopt;
    }
    return stream->Info().Duration;
}
