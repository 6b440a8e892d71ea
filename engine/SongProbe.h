// Measures a song without the player: opens its stream the way the player opens it and gives
// its length, so adding songs to an album needs neither the sound device nor the player that
// may be playing meanwhile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The song's length in ms, as the player would report it after opening it; nothing when the
// player would not open it (no song of a known kind, damaged, its decoder library missing) or
// when it is no readable regular file (a pipe or device named like a song would never end).
// Opening an MP3 file handles the window's messages, as the player's Open does.
std::optional<uint32_t> ProbeSongLength(const std::string& path);
