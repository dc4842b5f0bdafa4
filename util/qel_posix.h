// qel_posix: our Linux layer for the interfaces the engine knows only from
// Windows: the per-user data base directory, directory creation, opening a
// URL in the user's browser, and the sockets of the HTTP client.
#ifndef QEL_POSIX_H
#define QEL_POSIX_H

#include <netinet/in.h>
#include <string>

// Base of the documents directory: $APPDATA when set, else $XDG_DATA_HOME,
// else $HOME/.local/share, else ".". Empty variables count as unset.
std::string posix_docs_base();

// Creates the directory and every missing parent; existing ones are fine.
void posix_mkdirs(const char* path);

// Starts the opener ($QEL_URL_OPENER, else xdg-open) with the URL as its one
// argument, without a shell, and returns at once; a thread of its own reaps
// the child, so SIGCHLD stays as the process has it.
void posix_open_url(const char* url);

// Sockets. Errors come back as -1 with the number in posix_socket_error(),
// except for the name look-up, which has error numbers of its own.

// Start and stop of the socket layer; Linux needs neither, so the start
// always succeeds.
int posix_net_start();
void posix_net_stop();

// The first IPv4 address of a host name (or dotted address) through the C
// library's resolver, the name passed as given. False on failure, with the
// resolver's error number in *err.
bool posix_net_resolve(const char* name, in_addr* addr, int* err);

// A TCP stream socket, or -1.
int posix_socket_open();
// Switches the socket to non-blocking mode: 0, or -1 on failure.
int posix_socket_nonblock(int fd);
// Starts connecting: 0 when connected at once, else -1; a connection still
// under way is the would-block error. A refused connection shows later, at
// the first send or receive.
int posix_socket_connect(int fd, const sockaddr_in* addr);
// Whether an error number means only that the call would have had to wait.
bool posix_would_block(int err);
// Readiness without waiting: -1 on failure, 0 when the socket is neither
// readable nor writable, else 1 with both flags set. Descriptors of any size
// work. As with the classic readiness test, an error or hang-up on the socket
// makes it both readable and writable, so the next send or receive reports it.
int posix_socket_ready(int fd, bool* readable, bool* writable);
// Moves up to n bytes; the bytes moved, or -1. Sending to a peer that has
// gone fails with an error rather than raising SIGPIPE. A receive of 0 means
// the peer closed.
long posix_socket_send(int fd, const void* buf, long n);
long posix_socket_recv(int fd, void* buf, long n);
void posix_socket_close(int fd);
// The error number of the last failed socket call.
int posix_socket_error();

#endif
