// The test helper that runs programs: what environment the child gets, and
// its exit status after a look at whether it still runs.
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child.h"
#include "tempdir.h"
#include "time_limit.h"

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

// A look at a child that has ended leaves its status for the wait.
TEST(Child, EndedChildKeepsItsStatusForTheWait) {
    TempDir dir;
    Child c = child_start({"/bin/sh", "-c", "exit 3"}, {}, dir.file("out.txt"));
    for (int waited = 0; waited <= time_limit_ms(10000) && child_running(c); waited++) usleep(1000);
    EXPECT_FALSE(child_running(c));
    EXPECT_EQ(child_wait(c, 10000), 3);
}
