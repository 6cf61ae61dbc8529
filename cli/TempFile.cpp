#include "cli/TempFile.h"

#include "cli/Commands.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

namespace zpcli {

namespace fs = std::filesystem;

namespace {

// The temporary files being written, for the signal handler: a fixed table, since a handler
// may only read memory that no one reallocates, through lock-free atomics. A slot's word holds
// its state and a generation that every change of state advances. Busy covers a slot from its
// claim until its file is known to exist or not (the name being filled in, then the exclusive
// create), so there is never a file on disk that its slot does not show; Live means the file
// exists under the slot's name. The handler copies a Live slot's name and unlinks the copy only
// if the word is unchanged after the copy: a slot released and taken for another file meanwhile
// would otherwise hand it a name half one file's and half the next's.
enum SlotState : uint64_t { kFree, kBusy, kLive };
constexpr size_t kSlots = 512;
constexpr size_t kNameBytes = 4096;

struct Slot {
    std::atomic<uint64_t> word{kFree}; // generation << 2 | state
    std::array<std::atomic<char>, kNameBytes> name{};
};
std::array<Slot, kSlots> g_slots;
// Set by the handler before it reads the table. A slot claimed after the handler passed it
// would make a file the handler never sees, so a claim that finds this set makes nothing
// (both sides are sequentially consistent: either the claim sees the flag, or the handler
// sees the claim).
std::atomic<bool> g_dying{false};
static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<char>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr uint64_t stateOf(uint64_t word) {
    return word & 3;
}
constexpr uint64_t next(uint64_t word, SlotState state) {
    return ((word >> 2) + 1) << 2 | state;
}

// The signals that remove the files, blocked on the calling thread while this guard lives: the
// handler waits for Busy slots, so it must never run on the thread that holds one.
class InterruptsBlocked {
public:
    InterruptsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : kSignals)
            sigaddset(&set, signal);
        ::pthread_sigmask(SIG_BLOCK, &set, &before_);
    }
    ~InterruptsBlocked() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    InterruptsBlocked(const InterruptsBlocked&) = delete;
    InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

private:
    sigset_t before_;
};

// Claims a slot Busy under `name`; -1 when every slot is taken (that file then goes without
// the interrupt cleanup). Never returns once the process is being interrupted.
int claimSlot(const std::string& name) {
    if (name.size() >= kNameBytes)
        return -1;
    for (size_t i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        uint64_t word = slot.word.load();
        const uint64_t busy = next(word, kBusy);
        if (stateOf(word) != kFree || !slot.word.compare_exchange_strong(word, busy))
            continue;
        if (g_dying.load()) {
            // The handler may already have passed this slot: make nothing, and wait for the
            // signal it re-raises to end the process.
            slot.word.store(next(busy, kFree));
            for (;;)
                ::pause();
        }
        for (size_t k = 0; k <= name.size(); ++k)
            slot.name[k].store(name.c_str()[k], std::memory_order_relaxed);
        return static_cast<int>(i);
    }
    return -1;
}

void setSlot(int slot, SlotState state) {
    if (slot < 0)
        return;
    std::atomic<uint64_t>& word = g_slots[static_cast<size_t>(slot)].word;
    // Only this file's owner changes a slot it holds. Release: a handler that sees Live sees
    // the whole name.
    word.store(next(word.load(), state), std::memory_order_release);
}

extern "C" void removeTempFiles(int signal) {
    g_dying.store(true);
    char name[kNameBytes];
    // A Busy slot becomes Free or Live within an exclusive create; waited for, but not
    // forever, should the file system hang.
    int waitsLeft = 2000;
    for (Slot& s : g_slots) {
        uint64_t before = s.word.load();
        while (stateOf(before) == kBusy && waitsLeft-- > 0) {
            const timespec millisecond{0, 1000000};
            ::nanosleep(&millisecond, nullptr);
            before = s.word.load();
        }
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
    // The slot is claimed before the file is made, and the signals are held off this thread
    // meanwhile, so no interrupt can find the file made and not yet listed.
    const InterruptsBlocked blocked;
    int error = 0;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string name = stem;
        for (int i = 0; i < 6; ++i)
            name += kLetters[random() % (sizeof kLetters - 1)];
        name += ext;
        const int slot = claimSlot(name);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error = errno;
        if (fd_ >= 0) {
            path_ = std::move(name);
            slot_ = slot;
            setSlot(slot, kLive);
        } else {
            setSlot(slot, kFree);
            if (error != EEXIST)
                break;
        }
    }
    if (fd_ < 0)
        throw UsageError("cannot write " + quoted(target.string()) + ": " + std::strerror(error));
    // Writers reopen what they are given by name. Through this descriptor's own link they reach
    // the file made here even if its name was removed meanwhile (an interrupt on another
    // thread) or replaced: by name they would make a new file the cleanup never sees.
    const std::string own = "/proc/self/fd/" + std::to_string(fd_);
    writePath_ = ::access(own.c_str(), W_OK) == 0 ? own : path_;
}

TempFile::~TempFile() {
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove(path_, ec);
    }
    setSlot(slot_, kFree);
    if (fd_ >= 0)
        ::close(fd_);
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
    setSlot(slot_, kFree);
    slot_ = -1;
}

void removeTempFilesOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = removeTempFiles;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signal : InterruptsBlocked::kSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace zpcli
