// The host plug-in as the host meets it: a loader file in a folder, found through the headless
// host, with an effect library (the fake that records its calls, or the real one) beside it.
// Every test works on fresh copies in a folder of its own, so each loader starts with fresh
// process-wide state.
#include "headless/Host.h"
#include "loader/GeneratedPipl.h"
#include "render/ParamLayout.h"
#include "tests/loader/ExpectedPipl.h"
#include "tests/loader/ExpectedRegistration.h"
#include "tests/loader/FakeEffect.h"
#include "tests/support/HostSession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kOpenFailed = "Could not open bundle: ";
constexpr const char* kNoCommand = "Could not find command function.";

// True when the library at `path` is mapped in this process. Does not load it.
bool isLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    dlclose(handle);
    return true;
}

// A fresh folder with the loader copied in as Zonepainter.aex and, when given, an effect
// library copied in as Zonepainter.so. `nesting` adds folders to lengthen the path.
class PluginFolder {
public:
    explicit PluginFolder(const std::string& effectLibrary, const std::string& nesting = "") {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() /
                ("zp-loader-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        // A dotted folder name: only the file name's extension may be cut.
        dir_ = root_ / "Plug-ins.v1.1";
        if (!nesting.empty())
            dir_ /= nesting;
        fs::create_directories(dir_);
        fs::copy_file(ZP_LOADER_PATH, loaderPath());
        if (!effectLibrary.empty())
            fs::copy_file(effectLibrary, libraryPath());
    }
    ~PluginFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    PluginFolder(const PluginFolder&) = delete;
    PluginFolder& operator=(const PluginFolder&) = delete;

    std::string loaderPath() const { return (dir_ / "Zonepainter.aex").string(); }
    std::string libraryPath() const { return (dir_ / "Zonepainter.so").string(); }

private:
    fs::path root_;
    fs::path dir_;
};

// A host talking to the loader of one folder.
struct LoaderSession {
    explicit LoaderSession(const std::string& effectLibrary, const std::string& nesting = "")
        : folder(effectLibrary, nesting), host(headless::Plugin::loadLoader(folder.loaderPath())) {}
    PF_Err send(PF_Cmd cmd) { return host.send(cmd, &journal); }
    std::string message() { return host.outData().return_msg; }

    PluginFolder folder;
    headless::Host host;
    fake::Journal journal;
};

// --- forwarding ---------------------------------------------------------------------------------

TEST(LoaderForwarding, LoadsTheLibraryBesideItAndPassesItsBaseNameToEveryCommand) {
    LoaderSession s(ZP_FAKE_EFFECT_PATH);
    const PF_Cmd commands[] = {PF_Cmd_GLOBAL_SETUP,
                               PF_Cmd_PARAMS_SETUP,
                               PF_Cmd_SEQUENCE_SETUP,
                               PF_Cmd_RENDER,
                               PF_Cmd_SMART_RENDER,
                               25,
                               PF_Cmd_GET_FLATTENED_SEQUENCE_DATA,
                               PF_Cmd_NUM_CMDS,
                               -1,
                               PF_Cmd_ABOUT,
                               PF_Cmd_GLOBAL_SETDOWN};
    for (PF_Cmd cmd : commands)
        ASSERT_EQ(s.send(cmd), PF_Err_NONE) << "command " << cmd;

    ASSERT_EQ(s.journal.count, static_cast<int>(std::size(commands)));
    for (int i = 0; i < s.journal.count; ++i) {
        const fake::Call& call = s.journal.calls[i];
        EXPECT_EQ(call.cmd, commands[i]);
        EXPECT_STREQ(call.baseName, "Zonepainter") << "command " << call.cmd;
        EXPECT_EQ(fs::path(call.libraryPath), fs::path(s.folder.libraryPath()));
        EXPECT_EQ(call.inData, &s.host.inData());
        EXPECT_EQ(call.outData, &s.host.outData());
    }
}

TEST(LoaderForwarding, HandsOutputAndExtraThroughAndReturnsTheLibrarysResult) {
    LoaderSession s(ZP_FAKE_EFFECT_PATH);
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    PF_LayerDef output{};
    s.journal.result = 1234;
    EXPECT_EQ(s.host.send(PF_Cmd_RENDER, &s.journal, &output), 1234);
    ASSERT_EQ(s.journal.count, 2);
    EXPECT_EQ(s.journal.calls[1].output, &output);
}

TEST(LoaderForwarding, RealEffectLibraryAnswersThroughTheLoader) {
    LoaderSession s(ZP_EFFECT_LIBRARY_PATH);
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE) << s.message();
    const PF_OutData& out = s.host.outData();
    // What global setup reports is what the host read from the property list.
    const auto version = expected::piplWord(expected::kPipl, sizeof expected::kPipl, "eVER");
    const auto flags = expected::piplWord(expected::kPipl, sizeof expected::kPipl, "eGLO");
    const auto flags2 = expected::piplWord(expected::kPipl, sizeof expected::kPipl, "eGL2");
    ASSERT_TRUE(version && flags && flags2);
    EXPECT_EQ(out.my_version, *version);
    EXPECT_EQ(static_cast<uint32_t>(out.out_flags), *flags);
    EXPECT_EQ(static_cast<uint32_t>(out.out_flags2), *flags2);

    ASSERT_EQ(s.send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(s.host.outData().num_params, params::kNumParams);
    EXPECT_EQ(s.host.paramCount(), params::kNumParams);

    ASSERT_EQ(s.send(PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_EQ(s.message(), "Zone Painter v1.1");

    ASSERT_TRUE(isLoaded(s.folder.libraryPath()));
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_FALSE(isLoaded(s.folder.libraryPath()));
}

// --- registration entry ------------------------------------------------------------------------

TEST(LoaderRegistration, EntryRegistersTheEffectAsThePropertyListDescribesIt) {
    PluginFolder folder(""); // no library beside it: registration needs none
    const auto plugin = headless::Plugin::loadLoader(folder.loaderPath());
    const auto entry =
        reinterpret_cast<expected::RegistrationEntry>(plugin->symbol("PluginDataEntryFunction2"));
    ASSERT_NE(entry, nullptr);

    expected::Registration r;
    auto* context = reinterpret_cast<PF_PluginDataPtr>(&r);
    headless::Host host(nullptr);
    ASSERT_EQ(entry(context, expected::recordRegistration, host.basicSuite(), "Headless", "1.0"),
              PF_Err_NONE);
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.context, &r);
    EXPECT_EQ(r.name, expected::bytesOf(expected::kRegisteredName));
    EXPECT_EQ(r.matchName, expected::bytesOf(expected::kRegisteredMatchName));
    EXPECT_EQ(r.category, expected::bytesOf(expected::kRegisteredCategory));
    EXPECT_EQ(r.entryPoint, expected::bytesOf(expected::kRegisteredEntryPoint));
    EXPECT_EQ(r.kind, expected::kRegisteredKind);
    // The same kind as the property list's first property.
    EXPECT_EQ(static_cast<uint32_t>(r.kind),
              *expected::piplWord(expected::kPipl, sizeof expected::kPipl, "kind"));
    EXPECT_EQ(r.apiMajor, expected::kRegisteredApiMajor);
    EXPECT_EQ(r.apiMinor, expected::kRegisteredApiMinor);
    // The same effect API version as 'eSVR': major in the low word, minor in the high one.
    EXPECT_EQ(static_cast<uint32_t>(r.apiMajor) | static_cast<uint32_t>(r.apiMinor) << 16,
              *expected::piplWord(expected::kPipl, sizeof expected::kPipl, "eSVR"));
    EXPECT_EQ(r.reservedInfo, expected::kRegisteredReservedInfo);
    EXPECT_FALSE(r.supportUrlGiven);
    EXPECT_FALSE(isLoaded(folder.libraryPath()));

    // The callback's refusal is the entry's answer.
    expected::Registration refused;
    refused.answer = A_Err_MISSING_SUITE;
    EXPECT_EQ(entry(reinterpret_cast<PF_PluginDataPtr>(&refused), expected::recordRegistration,
                    nullptr, nullptr, nullptr),
              A_Err_MISSING_SUITE);
    EXPECT_EQ(refused.calls, 1);
    EXPECT_EQ(entry(context, nullptr, nullptr, nullptr, nullptr), PF_Err_INVALID_CALLBACK);
}

// --- library lifetime ---------------------------------------------------------------------------

TEST(LoaderLifetime, FailedGlobalSetdownKeepsTheLibraryAndTheNextSuccessfulOneUnloadsIt) {
    LoaderSession s(ZP_FAKE_EFFECT_PATH);
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    s.journal.globalSetdownResult = 77;
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), 77);
    EXPECT_TRUE(isLoaded(s.folder.libraryPath()));
    // Still usable: commands keep reaching it.
    EXPECT_EQ(s.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(s.journal.calls[s.journal.count - 1].cmd, PF_Cmd_SEQUENCE_SETDOWN);

    s.journal.globalSetdownResult = PF_Err_NONE;
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_FALSE(isLoaded(s.folder.libraryPath()));
    EXPECT_EQ(s.journal.count, 4);
}

TEST(LoaderLifetime, CommandsWithoutALoadedLibraryFailInsteadOfCallingThrough) {
    {
        SCOPED_TRACE("before any global setup");
        LoaderSession s(ZP_FAKE_EFFECT_PATH);
        EXPECT_EQ(s.send(PF_Cmd_PARAMS_SETUP), PF_Err_INVALID_CALLBACK);
        EXPECT_EQ(s.message(), kNoCommand);
        EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_INVALID_CALLBACK);
        EXPECT_EQ(s.journal.count, 0);
    }
    {
        SCOPED_TRACE("after the library was unloaded");
        LoaderSession s(ZP_FAKE_EFFECT_PATH);
        ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
        ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
        EXPECT_EQ(s.send(PF_Cmd_RENDER), PF_Err_INVALID_CALLBACK);
        EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_INVALID_CALLBACK);
        EXPECT_EQ(s.journal.count, 2);
    }
}

TEST(LoaderLifetime, GlobalSetupAfterSetdownLoadsTheLibraryAgain) {
    LoaderSession s(ZP_FAKE_EFFECT_PATH);
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    ASSERT_FALSE(isLoaded(s.folder.libraryPath()));
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_TRUE(isLoaded(s.folder.libraryPath()));
    EXPECT_EQ(s.send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_STREQ(s.journal.calls[s.journal.count - 1].baseName, "Zonepainter");
}

TEST(LoaderLifetime, RepeatedGlobalSetupHoldsOneReferenceOnly) {
    LoaderSession s(ZP_FAKE_EFFECT_PATH);
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_FALSE(isLoaded(s.folder.libraryPath()));
}

// --- failures at global setup -------------------------------------------------------------------

TEST(LoaderSetupFailure, MissingLibraryReportsThePathTried) {
    LoaderSession s(""); // the loader alone in its folder
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(s.message(), kOpenFailed + s.folder.libraryPath());
    EXPECT_EQ(s.send(PF_Cmd_PARAMS_SETUP), PF_Err_INVALID_CALLBACK);
}

TEST(LoaderSetupFailure, LibraryWithoutCommandExportIsRefused) {
    // The loader's own file stands in for a library without "command".
    LoaderSession s(ZP_LOADER_PATH);
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(s.message(), kNoCommand);
    EXPECT_EQ(s.send(PF_Cmd_ABOUT), PF_Err_INVALID_CALLBACK);
}

TEST(LoaderSetupFailure, HostRefusingThePathEndsSetupWithItsCode) {
    LoaderSession s(ZP_FAKE_EFFECT_PATH);
    s.host.faults.failCall("get_platform_data", 1);
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(s.host.outData().return_msg, "");
    EXPECT_EQ(s.journal.count, 0);
    EXPECT_FALSE(isLoaded(s.folder.libraryPath()));
    // The next attempt gets the path and succeeds.
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
}

TEST(LoaderSetupFailure, PathLongerThanTheMessageIsCutNotOverflowed) {
    // Nest folders until the loader's path is close to the host's 271-character limit.
    const size_t base = PluginFolder("").loaderPath().size();
    ASSERT_LT(base, 200u);
    const size_t extra = 268 - base;
    std::string nesting = std::string(extra / 2 - 1, 'a') + "/" + std::string(extra / 2, 'b');
    LoaderSession s("", nesting);
    ASSERT_GE(s.folder.loaderPath().size(), 260u);
    ASSERT_LE(s.folder.loaderPath().size(), 271u);

    PF_OutData& out = s.host.outData();
    out.start_sampL = 0x11111111;
    out.dur_sampL = 0x22222222;
    out.dest_snd.num_samples = 0x33333333;
    out.out_flags2 = 0x44444444;
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_INVALID_CALLBACK);

    const std::string full = kOpenFailed + s.folder.libraryPath();
    ASSERT_GT(full.size(), sizeof out.return_msg);
    EXPECT_EQ(std::string(out.return_msg), full.substr(0, sizeof out.return_msg - 1));
    EXPECT_EQ(out.start_sampL, 0x11111111);
    EXPECT_EQ(out.dur_sampL, 0x22222222);
    EXPECT_EQ(out.dest_snd.num_samples, 0x33333333);
    EXPECT_EQ(out.out_flags2, 0x44444444);
}

// --- a path without any separator ---------------------------------------------------------------

TEST(LoaderBarePath, OwnFileNameLoadsTheLoaderItselfWhichHasNoCommand) {
    LoaderSession s(ZP_FAKE_EFFECT_PATH);
    // The name resolves to the already loaded plug-in (its soname, as Windows matches loaded
    // modules by file name).
    s.host.setPluginPath("Zonepainter.aex");
    EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(s.message(), kNoCommand);
    EXPECT_EQ(s.journal.count, 0);
    EXPECT_FALSE(isLoaded(s.folder.libraryPath()));
}

TEST(LoaderBarePath, BareLibraryNameIsLoadedUnchangedWithAnEmptyBaseName) {
    // Loaded here first, the fake is then found by its bare name.
    void* preloaded = dlopen(ZP_FAKE_EFFECT_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(preloaded, nullptr);
    {
        LoaderSession s(ZP_FAKE_EFFECT_PATH);
        s.host.setPluginPath("zp_fake_effect.so");
        ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE) << s.message();
        ASSERT_EQ(s.journal.count, 1);
        EXPECT_STREQ(s.journal.calls[0].baseName, "");
        EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    }
    dlclose(preloaded);
}

TEST(LoaderBarePath, BaseNameFoundEarlierStaysForTheLoadersLife) {
    void* preloaded = dlopen(ZP_FAKE_EFFECT_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(preloaded, nullptr);
    {
        LoaderSession s(ZP_FAKE_EFFECT_PATH);
        ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
        ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
        s.host.setPluginPath("zp_fake_effect.so");
        ASSERT_EQ(s.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE) << s.message();
        EXPECT_STREQ(s.journal.calls[s.journal.count - 1].baseName, "Zonepainter");
        EXPECT_EQ(s.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    }
    dlclose(preloaded);
}

// --- host tables -------------------------------------------------------------------------------

TEST(LoaderHostTables, AFullSessionThroughTheLoaderCallsExactlyTheDesignedSlots) {
    LoaderSession s(ZP_EFFECT_LIBRARY_PATH);
    EXPECT_EQ(hostsession::runFullSession(s.host), PF_Err_NONE) << s.message();
    EXPECT_EQ(s.host.slotCalls(), hostsession::expectedSlots(true));
    EXPECT_TRUE(s.host.traps().empty());
    EXPECT_EQ(s.host.liveHandles(), 0);
    EXPECT_EQ(s.host.outstandingSuites(), 0);
}

// --- what the headless host answers
// ---------------------------------------------------------------

TEST(HeadlessPlatformData, AnswersWithTheSetPathWithinTheLoadersBuffer) {
    headless::Host host(nullptr);
    char buffer[300];

    host.setPluginPath("C:\\Plug-ins\\Zonepainter.aex");
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(host.platformData(PF_PlatData_EXE_FILE_PATH_DEPRECATED, buffer), PF_Err_NONE);
    EXPECT_STREQ(buffer, "C:\\Plug-ins\\Zonepainter.aex");

    // A longer path is cut to the 272-byte buffer the loader passes, NUL included.
    host.setPluginPath(std::string(400, 'p'));
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(host.platformData(PF_PlatData_EXE_FILE_PATH_DEPRECATED, buffer), PF_Err_NONE);
    EXPECT_EQ(std::strlen(buffer), 271u);
    for (size_t i = 272; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], 'x') << "byte " << i;

    EXPECT_NE(host.platformData(2, buffer), PF_Err_NONE);
}

} // namespace
