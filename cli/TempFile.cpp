#include "cli/TempFile.h"

#include "cli/Commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

namespace zpcli {

namespace fs = std::filesystem;

namespace {

// The temporary files being written, for the signal handler: a fixed table, since a handler
// may only read memory that no one reallocates, through lock-free atomics. A slot's word holds
// its state (Free, Busy: being filled, or Live: its name complete) and a generation that every
// change of state advances. The handler copies a Live slot's name and unlinks the copy only if
// the word is unchanged after the copy: a slot released and taken for another file meanwhile
// would otherwise hand it a name half one file's and half the next's.
enum SlotState : uint64_t { kFree, kBusy, kLive };
constexpr size_t kSlots = 512;
constexpr size_t kNameBytes = 4096;

struct Slot {
    std::atomic<uint64_t> word{kFree}; // generation << 2 | state
    std::array<std::atomic<char>, kNameBytes> name{};
};
std::array<Slot, kSlots> g_slots;
static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<char>::is_always_lock_free);

constexpr uint64_t stateOf(uint64_t word) {
    return word & 3;
}
constexpr uint64_t next(uint64_t word, SlotState state) {
    return ((word >> 2) + 1) << 2 | state;
}

int claimSlot(const std::string& name) {
    if (name.size() >= kNameBytes)
        return -1;
    for (size_t i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        uint64_t word = slot.word.load();
        const uint64_t busy = next(word, kBusy);
        if (stateOf(word) != kFree || !slot.word.compare_exchange_strong(word, busy))
            continue;
        for (size_t k = 0; k <= name.size(); ++k)
            slot.name[k].store(name.c_str()[k], std::memory_order_relaxed);
        // Release: a handler that sees Live sees the whole name.
        slot.word.store(next(busy, kLive), std::memory_order_release);
        return static_cast<int>(i);
    }
    return -1; // more files at once than slots: these go without the interrupt cleanup
}

void releaseSlot(int slot) {
    if (slot < 0)
        return;
    std::atomic<uint64_t>& word = g_slots[static_cast<size_t>(slot)].word;
    // Only this file's owner changes a slot it holds.
    word.store(next(word.load(), kFree));
}

extern "C" void removeTempFiles(int signal) {
    char name[kNameBytes];
    for (Slot& s : g_slots) {
        const uint64_t before = s.word.load(std::memory_order_acquire);
        if (stateOf(before) != kLive)
            continue;
        size_t k = 0;
        for (; k < kNameBytes; ++k) {
            name[k] = s.name[k].load(std::memory_order_relaxed);
            if (name[k] == '\0')
                break;
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if (k < kNameBytes && s.word.load(std::memory_order_relaxed) == before)
            ::unlink(name);
    }
    // The handler was reset on entry: the signal now ends the process as it would have.
    ::raise(signal);
}

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

} // namespace

TempFile::TempFile(const fs::path& target) : target_(target) {
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const std::string stem = (dir / ("." + target.stem().string() + ".tmp-")).string();
    const std::string ext = target.extension().string();
    // Made with O_EXCL under a random name rather than by mkstemps: mkstemps makes the file
    // private, and giving it back the permissions any new file gets would mean knowing the
    // file creation mask, which a process can only read by setting it, a race with every other
    // thread making files. Created with 0666, the file gets the mask (or the folder's default
    // ACL) from the kernel, as the mask stands when it is made.
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}() ^
                                        (static_cast<uint64_t>(::getpid()) << 32)};
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name = stem;
        for (int i = 0; i < 6; ++i)
            name += kLetters[random() % (sizeof kLetters - 1)];
        name += ext;
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            path_ = name;
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw UsageError("cannot write " + quoted(target.string()) + ": " + std::strerror(errno));
    ::close(fd);
    slot_ = claimSlot(path_);
}

TempFile::~TempFile() {
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove(path_, ec);
    }
    releaseSlot(slot_);
}

void TempFile::commit(bool noReplace) {
    std::error_code ec;
    if (noReplace) {
        // Checked and renamed apart, a file made between the two would be replaced.
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) != 0)
            ec = std::error_code(errno, std::generic_category());
        if (ec == std::errc::file_exists)
            throw UsageError(quoted(target_.string()) + " exists: not replaced (--no-overwrite)");
    } else {
        fs::rename(path_, target_, ec);
    }
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
