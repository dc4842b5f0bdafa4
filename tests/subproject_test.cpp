// The engine library as another project's subdirectory: tests/subproject/,
// configured against this source tree with GoogleTest and Google Benchmark
// out of reach, builds the library and its own program and nothing more,
// registers none of the project's tests, and its program runs.
//
// The source tree itself is added, not a clone of it: what is checked is the
// CMake code as it stands, edits not yet committed included, and the tree
// need not be a git checkout.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "tempdir.h"

namespace {

// The build, the longest step, takes about 20 s on an idle machine and near
// three minutes beside a loaded run of the suite; the limit only ends a step
// that hangs (the test's own CTest limit is 900 s).
const int STEP_LIMIT_MS = 600000;

struct Step {
    int status;
    std::string out;  // standard output and error
};

Step run(const std::vector<std::string>& argv, const TempDir& dir) {
    std::string log = dir.file("step.log");
    Child c = child_start(argv, {}, log);
    int status = child_wait(c, STEP_LIMIT_MS);
    return {status, read_file(log)};
}

// The names `make help` lists, without the per-source .o/.i/.s entries.
std::vector<std::string> targets(const std::string& help) {
    std::vector<std::string> names;
    std::istringstream in(help);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 4, "... ") != 0) continue;
        std::string name = line.substr(4, line.find(' ', 4) - 4);
        if (name.find('.') == std::string::npos) names.push_back(name);
    }
    return names;
}

}  // namespace

TEST(Subproject, ConsumerGetsTheLibraryAndNothingElse) {
    TempDir dir;
    std::string build = dir.file("build");
    Step r = run({QEL_CMAKE, "-S", QEL_SOURCE_DIR "/tests/subproject", "-B", build, "-G", "Unix Makefiles",
                 "-DQEL_DIR=" QEL_SOURCE_DIR, "-DCMAKE_C_COMPILER=" QEL_C_COMPILER,
                 "-DCMAKE_CXX_COMPILER=" QEL_CXX_COMPILER, "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON",
                 "-DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON"},
                dir);
    ASSERT_EQ(r.status, 0) << r.out;

    // Every target of the whole build tree, the subdirectory's included:
    // CMake's own, the program and the library.
    r = run({QEL_CMAKE, "--build", build, "--target", "help"}, dir);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(targets(r.out), (std::vector<std::string>{"all", "clean", "depend", "edit_cache", "rebuild_cache",
                                                        "test", "consumer", "qel"}))
        << r.out;

    r = run({QEL_CMAKE, "--build", build, "-j", "2"}, dir);
    ASSERT_EQ(r.status, 0) << r.out;

    // The program's own folder keeps its executable.
    std::string db = dir.file("scores.db");
    r = run({build + "/consumer", db}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "opening " + db + " in READWRITE/CREATE mode\n[{\"name\":\"ann\",\"next\":\"4\"}]\n");

    r = run({QEL_CTEST, "--test-dir", build, "-N"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Total Tests: 0\n"), std::string::npos) << r.out;
}
