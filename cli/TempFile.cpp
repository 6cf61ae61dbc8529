#include "cli/TempFile.h"

#include "cli/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

namespace zpcli {

namespace fs = std::filesystem;

namespace {

// The temporary files being written, for the signal handler: a fixed table, since a handler
// may only read memory that no one reallocates, through lock-free atomics. A slot is Free, Busy
// (being filled or emptied: the handler leaves it) or Live (its name complete).
enum SlotState : int { kFree, kBusy, kLive };
constexpr size_t kSlots = 512;
constexpr size_t kNameBytes = 4096;

struct Slot {
    std::atomic<int> state{kFree};
    std::array<char, kNameBytes> name{};
};
std::array<Slot, kSlots> g_slots;
static_assert(std::atomic<int>::is_always_lock_free);

int claimSlot(const std::string& name) {
    if (name.size() >= kNameBytes)
        return -1;
    for (size_t i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kBusy)) {
            std::memcpy(g_slots[i].name.data(), name.c_str(), name.size() + 1);
            g_slots[i].state.store(kLive);
            return static_cast<int>(i);
        }
    }
    return -1; // more files at once than slots: these go without the interrupt cleanup
}

void releaseSlot(int slot) {
    if (slot >= 0)
        g_slots[static_cast<size_t>(slot)].state.store(kFree);
}

extern "C" void removeTempFiles(int signal) {
    for (Slot& s : g_slots) {
        if (s.state.load() == kLive)
            ::unlink(s.name.data());
    }
    // The handler was reset on entry: the signal now ends the process as it would have.
    ::raise(signal);
}

// The process's file creation mask, read while the program starts, single-threaded: reading it
// means setting it, and a file another thread made in between would get no mask at all.
const mode_t g_umask = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}();

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

} // namespace

TempFile::TempFile(const fs::path& target) : target_(target) {
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const std::string ext = target.extension().string();
    std::string name = (dir / ("." + target.stem().string() + ".tmp-XXXXXX" + ext)).string();
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    const int fd = ::mkstemps(buf.data(), static_cast<int>(ext.size()));
    if (fd < 0)
        throw UsageError("cannot write " + quoted(target.string()) + ": " + std::strerror(errno));
    path_ = buf.data();
    slot_ = claimSlot(path_);
    // mkstemps makes the file private; the finished image gets the permissions any new file
    // would.
    (void)::fchmod(fd, 0666 & ~g_umask);
    ::close(fd);
}

TempFile::~TempFile() {
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove(path_, ec);
    }
    releaseSlot(slot_);
}

void TempFile::commit() {
    std::error_code ec;
    fs::rename(path_, target_, ec);
    if (ec)
        throw UsageError("cannot write " + quoted(target_.string()) + ": " + ec.message());
    path_.clear();
    releaseSlot(slot_);
    slot_ = -1;
}

void removeTempFilesOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = removeTempFiles;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace zpcli
