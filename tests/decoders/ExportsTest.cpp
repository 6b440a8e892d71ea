// Each decoder library exports its entry points under their exact names, and nothing else.
#include "tests/decoders/DecoderTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(DecoderExports, EachLibraryExportsExactlyItsEntryPoints) {
    const struct {
        const char* file;
        std::set<std::string> names;
    } cases[] = {
        {"Vorbis.DLL",
         {"vbEncOpen", "vbEncWrite", "vbEncClose", "vbDecOpen", "vbDecRead", "vbDecSeek",
          "vbDecClose", "vbVersion"}},
        {"MPGLib.DLL",
         {"MpgLib_OpenStream", "MpgLib_DecodeChunk", "MpgLib_CloseStream", "MpgLib_Version",
          "MpgLib_GetBitRate", "MpgLib_Flush"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::filesystem::path path = std::filesystem::path(TAVRO_PROGRAM_DIR) / c.file;
        ASSERT_TRUE(std::filesystem::exists(path));
        std::set<std::string> exported = ExportedNames(path);
        // Sanitizer builds add their own hooks; everything else must be ours.
        std::erase_if(exported, [](const std::string& n) { return n.rfind("__", 0) == 0; });
        EXPECT_EQ(exported, c.names);
        Module module(c.file);
        ASSERT_TRUE(module.Loaded());
        for (const std::string& name : c.names) {
            EXPECT_NE(module.Get<void*>(name.c_str()), nullptr) << name;
        }
    }
}
