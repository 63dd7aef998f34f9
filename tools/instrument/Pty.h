#pragma once

// The instrument's end of the serial line: a pseudo-terminal whose program
// end is linked as <folder>/ports/COM<n>, where the program looks for serial
// line n.
#include <string>

namespace instrument {

class Pty {
  public:
    // With `force`, an existing link to another device is replaced while the
    // instrument runs and put back when it closes.
    Pty(const std::string& folder, int line, bool force = false);
    ~Pty() { Close(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Opens a new pseudo-terminal and points the link at it. An open one is
    // closed first, but its link stays until the new one replaces it: the
    // program finds a vanished device meanwhile, as after pulling out an
    // adapter. A name this instrument did not make (a real line's link, a
    // device node) is left alone and the open fails, unless forced. Says why
    // on standard error when it fails.
    bool Open();
    // Closes it and removes the link, or puts back the one it replaced,
    // unless another instrument has taken the name since.
    void Close();

    int Fd() const { return master_; }
    const std::string& Device() const { return device_; }
    const std::string& Link() const { return link_; }

    // Whether the program has its end open (the master reports no hang-up).
    bool ProgramHasItOpen() const;
    // Drops what was written to the program and still waits on the line;
    // what the program wrote stays to be read.
    void DropOutput();

  private:
    bool MakeLink();
    bool OwnsLink() const;

    std::string folder_;
    std::string link_;
    std::string device_;
    std::string linked_;   // the device our link points to; empty: none
    std::string previous_; // the target of the link ours replaced; empty: none
    bool force_;
    int master_ = -1;
};

} // namespace instrument
