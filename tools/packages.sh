# The Debian packages the build, the tests and the engine need, and an
# installer that fetches only what is missing. Sourced by test.sh and run.sh.
# The damaged-files test reads real files from some of them: ImageMagick's
# icons, sound-icons' WAVs, sound-theme-freedesktop's Ogg sounds and a
# TrueType font of fonts-dejavu-core. The HTTP client's tests run lighttpd,
# and its benchmark curl beside it.
QEL_PACKAGES="cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libsdl2-dev
liblua5.2-dev libsqlite3-dev libstb-dev xvfb xauth xdotool vorbis-tools clang libclang-rt-14-dev
imagemagick libx11-dev locales valgrind libssl-dev python3 gnuplot-nox lighttpd curl
nlohmann-json3-dev rapidjson-dev libcjson-dev
sound-icons sound-theme-freedesktop fonts-dejavu-core"

packages_install() {
  missing=""
  for p in $QEL_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
  done
  [ -z "$missing" ] && return 0
  echo "installing:$missing"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}
