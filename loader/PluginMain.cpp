// The plug-in the host loads. It holds no effect code: at global setup it loads the effect
// library from its own folder and from then on forwards every command to the library's
// `command`, with its own base name in front of the host's arguments. It also answers the
// registration entry, through which hosts other than the property list's reader find the effect.
#include "effect/EntryPoints.h"
#include "effect/ProductInfo.h"
#include "host/LayoutChecks.h"
#include "loader/LibraryPath.h"
#include "loader/Platform.h"

#include <cstdio>

#if defined(_WIN32)
#define ZP_LOADER_EXPORT __declspec(dllexport)
#else
#define ZP_LOADER_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Process-wide: the host loads the plug-in file once and sends its commands to this state.
// The base name lives as long as the loader; the library gives `command` a pointer to it.
char g_baseName[loader::kBaseNameSize] = "";
void* g_library = nullptr;
EffectCommandFunc g_command = nullptr;

constexpr const char* kOpenFailedFormat = "Could not open bundle: %s";
constexpr const char* kNoCommandMessage = "Could not find command function.";

// The message area holds 256 bytes with its NUL. A longer text (a long path) is cut there and
// still terminated.
void reportMessage(PF_OutData* out_data, const char* format, const char* argument) {
    if (out_data == nullptr)
        return;
    char* message = out_data->return_msg;
    if (std::snprintf(message, sizeof out_data->return_msg, format, argument) < 0) {
        message[0] = '\0'; // an encoding error leaves no defined text behind
    }
}

// Keeps a newly opened library (or none) and drops the one held before, so that a repeated
// global setup never strands a reference. The new one is opened before the old one is
// dropped, so the same file stays loaded throughout.
void replaceLibrary(void* library) {
    void* previous = g_library;
    g_library = library;
    if (previous != nullptr)
        loader::platform::closeLibrary(previous);
}

PF_Err loadEffectLibrary(PF_InData* in_data, PF_OutData* out_data) {
    if (in_data == nullptr || in_data->utils == nullptr ||
        in_data->utils->get_platform_data == nullptr) {
        return PF_Err_INVALID_CALLBACK;
    }
    char pluginPath[loader::kPluginPathSize] = {};
    const PF_Err err = in_data->utils->get_platform_data(
        in_data->effect_ref, PF_PlatData_EXE_FILE_PATH_DEPRECATED, pluginPath);
    if (err != PF_Err_NONE)
        return err;
    // Whatever the host wrote, the text ends inside the buffer.
    pluginPath[sizeof pluginPath - 1] = '\0';

    char libraryPath[loader::kLibraryPathSize];
    const loader::LibraryPathResult where = loader::makeLibraryPath(
        pluginPath, loader::platform::pathSeparator(), loader::platform::libraryExtension(),
        libraryPath, sizeof libraryPath, g_baseName, sizeof g_baseName);
    if (where == loader::LibraryPathResult::TooLong) {
        // The buffers are sized for any path the host can give; a cut path would name a
        // different file, so it is never opened.
        replaceLibrary(nullptr);
        reportMessage(out_data, kOpenFailedFormat, libraryPath);
        return PF_Err_INVALID_CALLBACK;
    }

    replaceLibrary(loader::platform::openLibrary(libraryPath));
    if (g_library == nullptr) {
        reportMessage(out_data, kOpenFailedFormat, libraryPath);
        return PF_Err_INVALID_CALLBACK;
    }
    g_command =
        reinterpret_cast<EffectCommandFunc>(loader::platform::findSymbol(g_library, "command"));
    if (g_command == nullptr) {
        reportMessage(out_data, "%s", kNoCommandMessage);
        return PF_Err_INVALID_CALLBACK;
    }
    return PF_Err_NONE;
}

PF_Err forward(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
               PF_LayerDef* output, void* extra) {
    // Without a loaded library (global setup failed or never came, or the library was
    // unloaded) there is nothing to call: the entry would be null or point into freed code.
    if (g_library == nullptr || g_command == nullptr) {
        reportMessage(out_data, "%s", kNoCommandMessage);
        return PF_Err_INVALID_CALLBACK;
    }
    return g_command(g_baseName, cmd, in_data, out_data, params, output, extra);
}

} // namespace

extern "C" ZP_LOADER_EXPORT PF_Err PluginMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                              PF_ParamDef* params[], PF_LayerDef* output,
                                              void* extra) {
    switch (cmd) {
    case PF_Cmd_GLOBAL_SETUP: {
        const PF_Err err = loadEffectLibrary(in_data, out_data);
        if (err != PF_Err_NONE)
            return err;
        return forward(cmd, in_data, out_data, params, output, extra);
    }
    case PF_Cmd_GLOBAL_SETDOWN: {
        const PF_Err err = forward(cmd, in_data, out_data, params, output, extra);
        // A failed setdown leaves the library in place for the host's next attempt. The entry
        // is kept; forward() refuses it while no library is loaded.
        if (err == PF_Err_NONE && g_library != nullptr)
            replaceLibrary(nullptr);
        return err;
    }
    default:
        return forward(cmd, in_data, out_data, params, output, extra);
    }
}

// Official headers older than effect API 13.25 may not declare the registration entry's
// callback; such a build (no multi-frame rendering) is found through its property list alone.
#if ZP_HOST_THREADED
namespace {

// The registration's kind: the property list's 'eFKT', as the host reads four characters.
constexpr A_long kEffectKind = ('e' << 24) | ('F' << 16) | ('K' << 8) | 'T';

const A_u_char* text(const char* s) {
    return reinterpret_cast<const A_u_char*>(s);
}

} // namespace

// Registers the effect with the names, category and entry point of the property list (all from
// effect/ProductInfo.h) and the effect API version its 'eSVR' states. No support address is
// given. The library is not loaded for this: the host may call the entry without ever sending a
// command.
extern "C" ZP_LOADER_EXPORT PF_Err
PluginDataEntryFunction2(PF_PluginDataPtr inPtr, PF_PluginDataCB2 inPluginDataCallBackPtr,
                         SPBasicSuite* /*inSPBasicSuitePtr*/, const char* /*inHostName*/,
                         const char* /*inHostVersion*/) {
    if (inPluginDataCallBackPtr == nullptr)
        return PF_Err_INVALID_CALLBACK;
    return inPluginDataCallBackPtr(inPtr, text(product::kDisplayName), text(product::kMatchName),
                                   text(product::kCategory), text(product::kEntryPoint),
                                   kEffectKind, static_cast<A_long>(product::kSpecVersion),
                                   static_cast<A_long>(product::kReportedSpecSubversion),
                                   static_cast<A_long>(product::kReservedInfo), nullptr);
}
#endif
