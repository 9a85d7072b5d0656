// Answers the certificate chooser the way a user would, for tests that go
// through a selection: pick one row, or cancel. On Windows a driver thread
// works the real dialog; on Linux a scripted chooser program stands in.
#pragma once

#include <memory>
#include <string>
#include <vector>

class ChooserAnswer {
public:
    // `pick` >= 0 accepts that row; -1 cancels.
    explicit ChooserAnswer(int pick);
    ~ChooserAnswer();
    // The rows the chooser showed (name and issuer columns joined by "|"),
    // once the answer has been given; empty when no chooser was shown.
    std::vector<std::string> rowsShown();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
