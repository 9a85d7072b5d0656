#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string_view>

#include "chooser_answer.h"
#include "chooser_row.h"
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
    while (std::getline(in, line)) {
        chooser_row<char> row;
        if (chooser_splitRow(std::string_view(line), &row)) out.push_back(row.name + "|" + row.issuer);
    }
    return out;
}
