// A file written under a temporary name beside its target and renamed onto the target once
// complete, so the target never holds a partial file: a failed write leaves it as it was, and a
// process killed while writing leaves at most the hidden temporary file.
#pragma once

#include <filesystem>
#include <string>

namespace zpcli {

class TempFile {
public:
    // Creates ".<stem>.tmp-XXXXXX<ext>" beside `target` (unique across threads and processes)
    // with the permissions any new file gets. Throws UsageError when it can't be made.
    explicit TempFile(const std::filesystem::path& target);
    // Removes the file unless it was committed.
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // The file's name beside the target.
    const std::string& path() const { return path_; }
    // The name to write the file through: a link to the file this object made that stays
    // valid whatever happens to path() meanwhile (/proc/self/fd/N; path() where there's none).
    const std::string& writePath() const { return writePath_; }
    // Renames the file onto the target; with `noReplace` only when no file has that name (the
    // test and the rename are one step). Throws UsageError when that fails.
    void commit(bool noReplace = false);

private:
    std::filesystem::path target_;
    std::string path_;
    std::string writePath_;
    int fd_ = -1;   // held open for writePath()
    int slot_ = -1; // in the table the interrupt handler clears
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files being written before the process
// ends as the signal would end it. For programs only: a library leaves signals to its host.
void removeTempFilesOnInterrupt();

} // namespace zpcli
