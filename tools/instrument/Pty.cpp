#include "Pty.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace instrument {

Pty::Pty(const std::string& folder, int line)
    : folder_(folder), link_(folder + "/ports/COM" + std::to_string(line)) {}

bool Pty::Open() {
    if (master_ >= 0)
        close(master_);
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        std::fprintf(stderr, "tarvek-instrument: no pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        std::fprintf(stderr, "tarvek-instrument: ptsname: %s\n", std::strerror(errno));
        return false;
    }
    device_ = name;
    // Raw 8-bit line at 2400 bit/s (on the master these are the settings of
    // the program's end); a carriage return must stay a carriage return.
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B2400);
        cfsetospeed(&t, B2400);
        tcsetattr(master_, TCSANOW, &t);
    }
    return MakeLink();
}

void Pty::Close() {
    if (!linked_.empty()) {
        char target[4096];
        const ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == linked_)
            unlink(link_.c_str());
        linked_.clear();
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

bool Pty::MakeLink() {
    const std::string ports = folder_ + "/ports";
    mkdir(folder_.c_str(), 0755);
    if (mkdir(ports.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "tarvek-instrument: %s: %s\n", ports.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (lstat(link_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "tarvek-instrument: %s exists and is not a link; left alone\n", link_.c_str());
        return false;
    }
    // Made aside and renamed over the old link, so the name never vanishes.
    const std::string temporary = link_ + ".new" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(device_.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), link_.c_str()) != 0) {
        std::fprintf(stderr, "tarvek-instrument: %s: %s\n", link_.c_str(), std::strerror(errno));
        unlink(temporary.c_str());
        return false;
    }
    linked_ = device_;
    return true;
}

bool Pty::ProgramHasItOpen() const {
    pollfd probe{master_, POLLIN, 0};
    return poll(&probe, 1, 0) >= 0 && (probe.revents & POLLHUP) == 0;
}

void Pty::Flush() {
    tcflush(master_, TCIOFLUSH);
}

} // namespace instrument
