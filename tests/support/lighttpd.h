// Test helper: lighttpd (the Debian package) serving a directory on
// 127.0.0.1 at a free port, started with a configuration of its own in a
// temporary directory and killed when the object goes.
#ifndef QEL_TEST_LIGHTTPD_H
#define QEL_TEST_LIGHTTPD_H

#include <string>

#include "child.h"
#include "tempdir.h"

class Lighttpd {
  public:
    // Serves the files under docroot (an absolute path); returns once the
    // server listens, or has failed to start: see ok() and why().
    explicit Lighttpd(const std::string& docroot);
    ~Lighttpd();
    Lighttpd(const Lighttpd&) = delete;
    Lighttpd& operator=(const Lighttpd&) = delete;

    bool ok() const { return _port > 0; }
    int port() const { return _port; }
    // Why it did not start: the reason and the server's own output.
    const std::string& why() const { return _why; }

  private:
    TempDir _dir;
    Child _child;
    int _port = 0;
    std::string _why;
};

#endif
