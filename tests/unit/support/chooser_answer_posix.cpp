#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "chooser_answer.h"
#include "scoped_env.h"
#include "temp_dir.h"

struct ChooserAnswer::Impl {
    TempDir dir;
    std::unique_ptr<ScopedEnv> env;
};

ChooserAnswer::ChooserAnswer(int pick) : impl_(std::make_unique<Impl>())
{
    std::string rows = impl_->dir.file("rows");
    std::string script = "#!/bin/sh\ncat > '" + rows + "'\n";
    script += pick >= 0 ? "echo " + std::to_string(pick) + "\nexit 0\n" : "exit 1\n";
    impl_->dir.write("chooser", script);
    chmod(impl_->dir.file("chooser").c_str(), 0755);
    impl_->env = std::make_unique<ScopedEnv>("DSC_JNA_CHOOSER", impl_->dir.file("chooser").c_str());
}

ChooserAnswer::~ChooserAnswer() = default;

std::vector<std::string> ChooserAnswer::rowsShown()
{
    std::vector<std::string> out;
    std::istringstream in(impl_->dir.read("rows"));
    std::string line;
    // A row is "index:algorithm:name:issuer".
    while (std::getline(in, line)) {
        size_t a = line.find(':'), b = line.find(':', a + 1), c = line.find(':', b + 1);
        if (c == std::string::npos) continue;
        out.push_back(line.substr(b + 1, c - b - 1) + "|" + line.substr(c + 1));
    }
    return out;
}
