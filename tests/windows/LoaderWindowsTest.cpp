// Zonepainter.aex and Zonepainter.dll on Windows: the property list and manifest the host
// reads from the loader file, and the commands it sends through the loader.
#include "render/ParamLayout.h"
#include "tests/loader/ExpectedPipl.h"
#include "tests/loader/ExpectedRegistration.h"
#include "tests/windows/WindowsPlugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using wintest::LoadedPlugin;

const WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

BOOL CALLBACK countName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

int resourceCount(HMODULE module, LPCSTR type) {
    int count = 0;
    EnumResourceNamesA(module, type, countName, reinterpret_cast<LONG_PTR>(&count));
    return count;
}

// --- what the host reads before loading anything ------------------------------------------------

TEST(WindowsLoaderFile, PropertyListResourceMatchesTheTableByteForByte) {
    LoadedPlugin p;
    HMODULE module = p.loaderModule();
    ASSERT_NE(module, nullptr);
    const std::vector<unsigned char> pipl =
        wintest::resourceBytes(module, "PIPL", MAKEINTRESOURCEA(16000), kUsEnglish);
    ASSERT_EQ(pipl.size(), sizeof expected::kPipl);
    for (size_t i = 0; i < pipl.size(); ++i) {
        EXPECT_EQ(pipl[i], expected::kPipl[i]) << "byte " << i;
    }

    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, "PIPL", MAKEINTRESOURCEA(16000), collectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{1033});
    EXPECT_EQ(resourceCount(module, "PIPL"), 1);
}

TEST(WindowsLoaderFile, CarriesAnAsInvokerManifestAndNoVersionResource) {
    LoadedPlugin p;
    HMODULE module = p.loaderModule();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(resourceCount(module, MAKEINTRESOURCEA(24)), 1); // RT_MANIFEST
    const std::vector<unsigned char> bytes =
        wintest::resourceBytes(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2), kUsEnglish);
    const std::string manifest(bytes.begin(), bytes.end());
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos) << manifest;
    EXPECT_EQ(resourceCount(module, MAKEINTRESOURCEA(16)), 0); // RT_VERSION
}

TEST(WindowsLoaderFile, ExportsItsEntryPointAndRegistrationEntryOnly) {
    LoadedPlugin p;
    HMODULE module = p.loaderModule();
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "PluginMain"), nullptr);
    EXPECT_NE(GetProcAddress(module, "PluginDataEntryFunction2"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "command"), nullptr);
}

TEST(WindowsLoaderFile, RegistrationEntryGivesTheHostsCallbackTheEffectByteForByte) {
    LoadedPlugin p;
    HMODULE module = p.loaderModule();
    ASSERT_NE(module, nullptr);
    const auto entry = reinterpret_cast<expected::RegistrationEntry>(
        reinterpret_cast<void*>(GetProcAddress(module, "PluginDataEntryFunction2")));
    ASSERT_NE(entry, nullptr);
    expected::Registration r;
    ASSERT_EQ(entry(reinterpret_cast<PF_PluginDataPtr>(&r), expected::recordRegistration,
                    p.host.basicSuite(), "Headless", "1.0"),
              PF_Err_NONE);
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.context, &r);
    EXPECT_EQ(r.name, expected::bytesOf(expected::kRegisteredName));
    EXPECT_EQ(r.matchName, expected::bytesOf(expected::kRegisteredMatchName));
    EXPECT_EQ(r.category, expected::bytesOf(expected::kRegisteredCategory));
    EXPECT_EQ(r.entryPoint, expected::bytesOf(expected::kRegisteredEntryPoint));
    EXPECT_EQ(r.kind, expected::kRegisteredKind);
    EXPECT_EQ(r.apiMajor, expected::kRegisteredApiMajor);
    EXPECT_EQ(r.apiMinor, expected::kRegisteredApiMinor);
    EXPECT_EQ(r.reservedInfo, expected::kRegisteredReservedInfo);
    EXPECT_FALSE(r.supportUrlGiven);
    // Registration loads nothing.
    EXPECT_EQ(p.libraryModule(), nullptr);
    expected::Registration refused;
    refused.answer = A_Err_MISSING_SUITE;
    EXPECT_EQ(entry(reinterpret_cast<PF_PluginDataPtr>(&refused), expected::recordRegistration,
                    nullptr, nullptr, nullptr),
              A_Err_MISSING_SUITE);
}

// --- commands through the loader
// ------------------------------------------------------------------

TEST(WindowsLoaderCommands, SetupAboutAndSetdownReachTheLibraryInTheLoadersFolder) {
    LoadedPlugin p;
    ASSERT_EQ(p.libraryModule(), nullptr);
    ASSERT_EQ(p.host.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE) << p.message();
    EXPECT_NE(p.libraryModule(), nullptr);
    // The copy beside the loader, not the one beside this program.
    const std::string built = wintest::PluginFolder::buildFolder() + "\\Zonepainter.dll";
    EXPECT_EQ(GetModuleHandleA(built.c_str()), nullptr);

    // Global setup reports what the host read from the property list.
    const std::vector<unsigned char> pipl =
        wintest::resourceBytes(p.loaderModule(), "PIPL", MAKEINTRESOURCEA(16000), kUsEnglish);
    const auto version = expected::piplWord(pipl.data(), pipl.size(), "eVER");
    const auto flags = expected::piplWord(pipl.data(), pipl.size(), "eGLO");
    const auto flags2 = expected::piplWord(pipl.data(), pipl.size(), "eGL2");
    ASSERT_TRUE(version && flags && flags2);
    const PF_OutData& out = p.host.outData();
    EXPECT_EQ(out.my_version, *version);
    EXPECT_EQ(static_cast<uint32_t>(out.out_flags), *flags);
    EXPECT_EQ(static_cast<uint32_t>(out.out_flags2), *flags2);

    ASSERT_EQ(p.host.send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(p.host.outData().num_params, params::kNumParams);
    EXPECT_EQ(p.host.paramCount(), params::kNumParams);

    ASSERT_EQ(p.host.send(PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_EQ(p.message(), "Zone Painter v1.1");

    EXPECT_EQ(p.host.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(p.libraryModule(), nullptr);
}

TEST(WindowsLoaderCommands, MissingLibraryIsReportedWithThePathTried) {
    LoadedPlugin p(false);
    EXPECT_EQ(p.host.send(PF_Cmd_GLOBAL_SETUP), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(p.message(), "Could not open bundle: " + p.folder.libraryPath());
    EXPECT_EQ(p.host.send(PF_Cmd_PARAMS_SETUP), PF_Err_INVALID_CALLBACK);
}

TEST(WindowsLoaderCommands, OwnFileNameWithoutFolderFindsTheLoaderWhichHasNoCommand) {
    LoadedPlugin p;
    p.host.setPluginPath("Zonepainter.aex");
    EXPECT_EQ(p.host.send(PF_Cmd_GLOBAL_SETUP), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(p.message(), "Could not find command function.");
    EXPECT_EQ(p.libraryModule(), nullptr);
}

} // namespace
