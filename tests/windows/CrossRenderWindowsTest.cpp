// The shared frame (tests/support/CrossRenderScene.h) rendered by the Windows deliverables
// through the loader, at 8, 16 and 32 bits. When ZP_WINDOWS_RENDER_DIR names a folder, the
// output pixels are left there for the Linux build to compare with its own render
// (CrossPlatformGoldenTests in test_render).
#include "headless/ComputeCache.h"
#include "headless/MultiFrame.h"
#include "tests/support/CrossRenderScene.h"
#include "tests/windows/WindowsPlugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using wintest::LoadedPlugin;

// The folder to write to, as a Windows path; empty when none is asked for. The Linux side
// hands over its own absolute paths, and Wine shows the Unix root as drive Z:.
std::string renderFolder() {
    const char* value = std::getenv("ZP_WINDOWS_RENDER_DIR");
    if (value == nullptr || *value == '\0')
        return {};
    std::string path = value;
    if (path.front() == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// False when the file could not be written completely.
bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    f.close();
    return static_cast<bool>(f);
}

// Alpha channel values (the first channel of each pixel) as raw bytes.
std::vector<uint8_t> alphas(const std::vector<uint8_t>& packed, int bitdepth) {
    const size_t bpc = static_cast<size_t>(bitdepth / 8);
    std::vector<uint8_t> a;
    for (size_t i = 0; i + 4 * bpc <= packed.size(); i += 4 * bpc)
        a.insert(a.end(), packed.begin() + static_cast<std::ptrdiff_t>(i),
                 packed.begin() + static_cast<std::ptrdiff_t>(i + bpc));
    return a;
}

TEST(WindowsRender, SharedSceneAtEveryDepthThroughTheLoader) {
    // Renders of an earlier run must not pass for this run's.
    const std::string folder = renderFolder();
    if (!folder.empty()) {
        for (const int depth : crossrender::kBitdepths)
            DeleteFileA((folder + "\\" + crossrender::outputFileName(depth)).c_str());
    }

    LoadedPlugin p;
    headless::Host& host = p.host;
    ASSERT_EQ(host.send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE) << p.message();
    ASSERT_EQ(host.send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    ASSERT_EQ(host.send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    ASSERT_NE(host.sequenceHandle(), nullptr);
    crossrender::applyScene(host);
    const headless::LayerMasks& masks = host.extension<headless::LayerMasks>();

    std::vector<std::pair<int, std::vector<uint8_t>>> rendered;
    for (const int depth : crossrender::kBitdepths) {
        SCOPED_TRACE("bit depth " + std::to_string(depth));
        const crossrender::SceneRender r = crossrender::renderScene(host, depth);
        EXPECT_EQ(r.err, PF_Err_NONE);
        EXPECT_TRUE(r.canariesIntact);
        // Kept maps and blends live on the heap (the host may drop them after every sequence).
        EXPECT_EQ(host.liveHandles(), 1) << "the sequence record alone";
        EXPECT_EQ(host.lockedHandles(), 0);
        EXPECT_EQ(host.outstandingCheckouts(), 0);
        EXPECT_EQ(masks.outstanding(), 0);
        if (r.err != PF_Err_NONE)
            continue;
        ASSERT_EQ(r.output.size(), crossrender::outputBytes(depth));
        EXPECT_NE(r.output, r.input) << "the scene corrects something";
        EXPECT_EQ(alphas(r.output, depth), alphas(r.input, depth));
        rendered.emplace_back(depth, r.output);
    }

    // Both setdowns are sent whatever happened above, so that the library can be unloaded and
    // its folder removed.
    EXPECT_EQ(host.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host.send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host.liveHandles(), 0);
    EXPECT_EQ(p.libraryModule(), nullptr);

    if (folder.empty()) {
        std::cout << "ZP_WINDOWS_RENDER_DIR is not set: renders not written\n";
        return;
    }
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << folder;
    }
    for (const auto& [depth, pixels] : rendered) {
        const std::string path = folder + "\\" + crossrender::outputFileName(depth);
        EXPECT_TRUE(writeBytes(path, pixels)) << "writing " << path;
    }
}

// The host's multi-frame mode through the loader: the sequence copied for rendering
// (get-flattened, resetup) and frames of every depth rendered on three threads at once, each
// with no sequence data in in_data and the kept map shared through the compute cache, eagerly
// purged. Every frame equals the instance's own render of it.
TEST(WindowsRender, SeveralRenderThreadsOfOneCopyRenderWhatTheInstanceRenders) {
    LoadedPlugin p;
    headless::Host& host = p.host;
    ASSERT_EQ(host.setupInstance(), PF_Err_NONE) << p.message();
    crossrender::applyScene(host);
    host.computeCache().setPurgeEagerly(true);
    {
        headless::MultiFrameRenderer renderer(host);
        ASSERT_EQ(renderer.copyInstance(), PF_Err_NONE);
        for (const int depth : crossrender::kBitdepths) {
            SCOPED_TRACE("bit depth " + std::to_string(depth));
            const std::vector<uint8_t> expected = crossrender::renderScene(host, depth).output;
            constexpr int kFrames = 6;
            std::vector<std::unique_ptr<headless::HostWorld>> worlds;
            std::vector<headless::MultiFrameRenderer::Frame> frames;
            for (int f = 0; f < kFrames; ++f) {
                worlds.push_back(std::make_unique<headless::HostWorld>(
                    crossrender::kWidth, crossrender::kHeight, depth / 8));
                crossrender::paintScene(*worlds.back());
                worlds.push_back(std::make_unique<headless::HostWorld>(
                    crossrender::kWidth, crossrender::kHeight, depth / 8));
                frames.push_back({worlds[worlds.size() - 2].get(), worlds.back().get(), depth, f});
            }
            EXPECT_EQ(renderer.renderFrames(frames, 3), PF_Err_NONE);
            for (int f = 0; f < kFrames; ++f)
                EXPECT_EQ(worlds[static_cast<size_t>(2 * f + 1)]->packedPixels(), expected)
                    << "frame " << f;
        }
        EXPECT_EQ(host.computeCache().checkedOut(), 0);
        EXPECT_TRUE(host.computeCache().faults().empty());
        EXPECT_TRUE(renderer.traps().empty());
        EXPECT_TRUE(renderer.protocolFaults().empty());
        EXPECT_EQ(renderer.setdownCopy(), PF_Err_NONE);
    }
    EXPECT_EQ(host.teardownInstance(), PF_Err_NONE);
    EXPECT_EQ(host.liveHandles(), 0);
}

} // namespace
