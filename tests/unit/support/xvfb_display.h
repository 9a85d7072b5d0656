// A virtual X display of the test's own (Xvfb), for GUI programs under test.
#pragma once

#include <string>
#include <sys/types.h>

class XvfbDisplay {
public:
    // Starts Xvfb on a display number it picks itself; check running().
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool running() const { return !name_.empty(); }
    const std::string& name() const { return name_; }  // ":N", for DISPLAY

private:
    pid_t pid_ = -1;
    std::string name_;
};
