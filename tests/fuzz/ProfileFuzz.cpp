// Fuzzes the profile-file reader and writer: any bytes parse, every lookup and write stays in
// bounds, a written file reads back what was written, and writing is idempotent.
#include "platform/Profile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::ProfileFile profile = platform::ProfileFile::Parse(text);

    // Names taken from the input itself, so sections and keys that exist get hit.
    const size_t cut = size / 3;
    const std::string section(text.substr(0, cut % 17));
    const std::string key(text.substr(cut, cut % 13));
    const std::string value(text.substr(2 * cut));

    const std::string before = profile.ReadString(section, key, "dflt");
    if (before.size() > platform::kProfileValueMax) {
        std::abort();
    }
    (void)profile.ReadInteger(section, key, 7);
    (void)platform::ParseProfileInteger(value);

    profile.WriteString(section, key, value);
    profile.WriteString("Colors", "Window Color", "-2147483633");
    const std::string written = profile.Text();
    platform::ProfileFile again = platform::ProfileFile::Parse(written);
    if (again.Text() != written) {
        std::abort(); // a written file is stable under reading and writing back
    }
    if (again.ReadInteger("Colors", "Window Color", 0) != -2147483633) {
        std::abort(); // the last write is what a read finds
    }
    return 0;
}
