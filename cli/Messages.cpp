#include "cli/Messages.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <streambuf>
#include <thread>

namespace zpcli {

std::string oneLine(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    std::replace(s.begin(), s.end(), '\n', ' ');
    std::replace(s.begin(), s.end(), '\r', ' ');
    return s.empty() ? std::string("unknown error") : s;
}

namespace {

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace

struct StderrRelay::State : std::streambuf {
    int terminal = -1;   // the process's stderr as it was
    int readEnd = -1;    // the pipe stderr now writes into
    std::mutex mutex;    // one reader of the pipe and one writer to the terminal at a time
    std::string pending; // a library line not ended yet
    std::streambuf* previous = nullptr;
    std::thread relay;

    // Relays whatever libraries have written; with `endLine` an unfinished line too. Holding
    // the mutex.
    void drain(bool endLine) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(readEnd, buffer, sizeof buffer);
            if (n > 0) {
                pending.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break; // nothing more for now (EAGAIN) or the pipe closed
        }
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
            emit(pending.substr(start, end - start));
        pending.erase(0, start);
        if (endLine && !pending.empty()) {
            emit(pending);
            pending.clear();
        }
    }

    void emit(std::string line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line.rfind("libpng error:", 0) == 0)
            return;
        if (line.rfind("zonepainter:", 0) != 0)
            line = "zonepainter: " + line;
        line += '\n';
        writeAll(terminal, line.data(), line.size());
    }

    // std::cerr's own writes: libraries' earlier output first, whole lines of it.
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::lock_guard<std::mutex> lock(mutex);
        drain(true);
        writeAll(terminal, s, static_cast<size_t>(n));
        return n;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        xsputn(&ch, 1);
        return c;
    }

    void run() {
        for (;;) {
            pollfd p{readEnd, POLLIN, 0};
            if (::poll(&p, 1, -1) < 0 && errno == EINTR)
                continue;
            const std::lock_guard<std::mutex> lock(mutex);
            drain(false);
            if (p.revents & (POLLHUP | POLLERR)) {
                char probe;
                if (::read(readEnd, &probe, 1) == 0) {
                    drain(true);
                    return;
                }
                pending += probe;
            }
        }
    }
};

StderrRelay::StderrRelay() {
    int fds[2];
    const int terminal = ::dup(STDERR_FILENO);
    if (terminal < 0 || ::pipe2(fds, O_CLOEXEC) != 0) {
        if (terminal >= 0)
            ::close(terminal);
        return; // stderr stays as it is
    }
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(terminal, F_SETFD, FD_CLOEXEC);
    std::fflush(stderr);
    ::dup2(fds[1], STDERR_FILENO);
    ::close(fds[1]);
    state_ = new State;
    state_->terminal = terminal;
    state_->readEnd = fds[0];
    state_->previous = std::cerr.rdbuf(state_);
    state_->relay = std::thread([s = state_] { s->run(); });
}

StderrRelay::~StderrRelay() {
    if (!state_)
        return;
    std::cerr.flush();
    std::fflush(stderr);
    std::cerr.rdbuf(state_->previous);
    // stderr back on the terminal closes the pipe's last write end: the relay sees the end.
    ::dup2(state_->terminal, STDERR_FILENO);
    state_->relay.join();
    ::close(state_->readEnd);
    ::close(state_->terminal);
    delete state_;
}

} // namespace zpcli
