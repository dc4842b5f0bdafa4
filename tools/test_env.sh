# The environment the test programs run in, for test.sh and tools/load_run.sh:
# one X server for the whole run (tools/xvfb.sh), no session bus, and the
# sanitizers' options. Sourced from the project folder.
. tools/xvfb.sh

test_env_start() {
  xvfb_start
  # SDL's start-up talks to a session bus that does not exist here.
  export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
}
