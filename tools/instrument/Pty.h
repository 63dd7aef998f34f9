#pragma once

// The instrument's end of the serial line: a pseudo-terminal whose program
// end is linked as <folder>/ports/COM<n>, where the program looks for serial
// line n.
#include <string>

namespace instrument {

class Pty {
  public:
    Pty(const std::string& folder, int line);
    ~Pty() { Close(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Opens a new pseudo-terminal and points the link at it. An open one is
    // closed first, but its link stays until the new one replaces it: the
    // program finds a vanished device meanwhile, as after pulling out an
    // adapter. Says why on standard error when it fails.
    bool Open();
    // Closes it and removes the link, unless another instrument has taken
    // the name since.
    void Close();

    int Fd() const { return master_; }
    const std::string& Device() const { return device_; }
    const std::string& Link() const { return link_; }

    // Whether the program has its end open (the master reports no hang-up).
    bool ProgramHasItOpen() const;
    // Drops whatever waits on the line in either direction.
    void Flush();

  private:
    bool MakeLink();

    std::string folder_;
    std::string link_;
    std::string device_;
    std::string linked_; // the device our link points to; empty: none
    int master_ = -1;
};

} // namespace instrument
