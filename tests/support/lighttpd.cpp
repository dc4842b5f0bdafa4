// Test helper: starting and stopping lighttpd.
#include "lighttpd.h"

#include <unistd.h>

#include "tcp_server.h"
#include "time_limit.h"

static const char* const LIGHTTPD = "/usr/sbin/lighttpd";

Lighttpd::Lighttpd(const std::string& docroot) {
    if (access(LIGHTTPD, X_OK) != 0) {
        _why = std::string(LIGHTTPD) + " is missing (tools/packages.sh installs it)";
        return;
    }
    std::string conf = _dir.file("lighttpd.conf"), log = _dir.file("error.log"), out = _dir.file("out");
    // The port is free when chosen, but another program may take it before
    // the server binds it; the server then exits, and the next port is tried.
    for (int attempt = 0; attempt < 5; attempt++) {
        int port = tcp_closed_port();
        std::string text = "server.document-root = \"" + docroot + "\"\n";
        text += "server.bind = \"127.0.0.1\"\n";
        text += "server.port = " + std::to_string(port) + "\n";
        text += "server.errorlog = \"" + log + "\"\n";
        text += "mimetype.assign = (\".txt\" => \"text/plain\", \"\" => \"application/octet-stream\")\n";
        write_file(conf, text);
        write_file(log, "");
        _child = child_start({LIGHTTPD, "-D", "-f", conf}, {}, out);
        // The server logs its start once it listens; 10 s in the release tree.
        for (int waited = 0; waited <= time_limit_ms(10000); waited += 10) {
            if (read_file(log).find("server started") != std::string::npos) {
                _port = port;
                return;
            }
            if (!child_running(_child)) break;
            usleep(10000);
        }
        _why = "lighttpd did not start:\n" + read_file(out) + read_file(log);
        child_wait(_child, 0);
    }
}

Lighttpd::~Lighttpd() { child_wait(_child, 0); }
