#include "instrument/Pty.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace instrument {

namespace {

std::string LinkTarget(const std::string& link) {
    char target[4096];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Points `link` at `target`: made aside and renamed over the old link, so the
// name never vanishes.
bool PointLink(const std::string& link, const std::string& target) {
    const std::string temporary = link + ".new" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "tarvek-instrument: %s: %s\n", link.c_str(), std::strerror(errno));
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

Pty::Pty(const std::string& folder, int line, bool force)
    : folder_(folder), link_(folder + "/ports/COM" + std::to_string(line)), force_(force) {}

bool Pty::OwnsLink() const {
    return !linked_.empty() && LinkTarget(link_) == linked_;
}

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
    if (OwnsLink()) {
        if (previous_.empty())
            unlink(link_.c_str());
        else
            PointLink(link_, previous_);
    }
    linked_.clear();
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
    if (lstat(link_.c_str(), &st) == 0 && !OwnsLink()) {
        // Someone else's: a real line's link, another instrument's, a device.
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "tarvek-instrument: %s exists and is not a link; left alone\n",
                         link_.c_str());
            return false;
        }
        const std::string target = LinkTarget(link_);
        if (!force_) {
            std::fprintf(
                stderr,
                "tarvek-instrument: %s is a link to %s; left alone (--force replaces it until the end)\n",
                link_.c_str(), target.c_str());
            return false;
        }
        if (previous_.empty())
            previous_ = target;
    }
    if (!PointLink(link_, device_))
        return false;
    linked_ = device_;
    return true;
}

bool Pty::ProgramHasItOpen() const {
    pollfd probe{master_, POLLIN, 0};
    return poll(&probe, 1, 0) >= 0 && (probe.revents & POLLHUP) == 0;
}

void Pty::DropOutput() {
    tcflush(master_, TCOFLUSH);
}

} // namespace instrument
