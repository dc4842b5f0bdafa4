// The test helper that runs programs: what environment the child gets.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "child.h"
#include "tempdir.h"

// A test's own setting wins over the same name inherited from the shell that
// started the tests (an exported SDL_AUDIODRIVER, say); other names pass on.
TEST(Child, OwnEnvironmentWinsOverInherited) {
    TempDir dir;
    setenv("QEL_CHILD_OWN", "inherited", 1);
    setenv("QEL_CHILD_KEPT", "kept", 1);
    // printenv reads the names with getenv, as SDL does.
    Child c = child_start({"/usr/bin/printenv", "QEL_CHILD_OWN", "QEL_CHILD_KEPT", "QEL_CHILD_NEW"},
                          {"QEL_CHILD_OWN=own", "QEL_CHILD_NEW=new"}, dir.file("out.txt"));
    EXPECT_EQ(child_wait(c, 10000), 0);
    EXPECT_EQ(read_file(dir.file("out.txt")), "own\nkept\nnew\n");
    unsetenv("QEL_CHILD_OWN");
    unsetenv("QEL_CHILD_KEPT");
}
