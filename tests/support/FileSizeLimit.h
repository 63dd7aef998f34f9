#pragma once

// Simulates a full disk: while one of these lives, no file of the process can
// grow past `bytes`, and a write crossing the limit is cut short there, as at
// the end of a full disk (SIGXFSZ is ignored, so the write just fails). Keep
// the scope small: it also binds a stdout or stderr redirected into a file.
#include <csignal>
#include <sys/resource.h>

namespace tarvek {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit limit{bytes, previous_.rlim_max};
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return active_; }

  private:
    void (*previousHandler_)(int);
    rlimit previous_{};
    bool active_ = false;
};

} // namespace tarvek
