// qel_web: a small HTTP/1.0 client that never blocks the frame loop.
//
// qel_web_create makes one GET (postlen 0) or POST request with a form body
// and opens its socket; qel_web_poll then advances it by one non-blocking
// step per call (typically once a frame) until the peer closes the
// connection, a socket call fails or the request has made no progress for
// longer than its time-out. The whole response is kept in memory: the body in
// data and len, single head values through qel_web_get_header. Host names are
// resolved synchronously, with a process-wide cache of successful look-ups.
// Main thread only.
//
//     qel_web* page = qel_web_create("example.org", 80, "/", nullptr, 0, 10);
//     while (!qel_web_poll(page)) { ...draw a frame... }
//     if (!page->error) use(page->data, page->len);
//     qel_web_destroy(page);
#ifndef QEL_WEB_H
#define QEL_WEB_H

#include <netinet/in.h>

// A growable byte buffer.
struct qel_web_buffer {
    int len;              // bytes in use
    int alloc;            // capacity: 0 before the first growth, then a power of two
    int pos;              // bytes of the request already sent (0 for the response)
    unsigned char* data;  // alloc bytes; those from len on are zero when it grows
};

enum {
    QEL_WEB_STATE_NEW = 0,      // creation failed before the socket was ready
    QEL_WEB_STATE_CONNECT = 1,  // socket open and non-blocking, connect not yet issued
    QEL_WEB_STATE_SEND = 2,     // connect issued, request being sent
    QEL_WEB_STATE_RECV = 3,     // request sent, response being received
    QEL_WEB_STATE_DONE = 4,     // the peer closed the connection: the response is complete
};

// One request and its response.
struct qel_web {
    unsigned char* data;  // the body, inside _response (null until the first receive)
    int len;              // body bytes: none while a head opened by a status line goes on,
                          // nor for a status that has no body (1xx, 204, 304)
    int error;            // 0, or 1 after any failure
    char host[256];
    int port;
    char path[1024];
    qel_web_buffer _request;   // head and body, as sent
    qel_web_buffer _response;  // every byte received
    int header;                // offset of the body in _response; 0 until the head's end is found
    int state;                 // QEL_WEB_STATE_*
    long timeout;              // deadline in wall-clock seconds
    long _timeout;             // seconds allowed without progress
    int sockfd;                // -1 when none
    int numbytes;              // not used here
    sockaddr_in their_addr;    // the peer
    // Where the search for the head's end goes on when the next bytes come:
    // the bytes of _response searched so far, and whether the last of them
    // that was not a carriage return was a line feed.
    int _head_searched;
    int _head_lf;
    // 1 once the head is found to give a status without a body (1xx, 204,
    // 304): the response is then complete at the end of its head.
    int _no_body;
};

// Starts the socket layer: 0, or -1 on failure.
int qel_web_init();
// Stops the socket layer when qel_web_init succeeded.
void qel_web_deinit();

// Creates the request for _path on _host at port: a POST of the postlen
// bytes at post (already form-encoded) or, with postlen 0, a GET; timeout is
// the allowance in seconds without progress. Always returns a record; a
// failure (a host that does not resolve, a host over 255 bytes, a path over
// 1023 bytes, a control byte in the host or path, a port outside 1 to 65535,
// a negative postlen, no socket) shows as error 1.
qel_web* qel_web_create(const char* _host, int port, const char* _path, const char* post, int postlen,
                        int timeout);
// One step: 1 when the request is done or has failed (error set), else 0.
// A step sends what the socket takes, or receives what it holds up to 1 MiB.
// A response cut short fails, with what came kept: the peer closing without
// a byte, a head opened by a status line ("HTTP/") that never ends, a body
// shorter than its Content-Length (a 1xx, 204 or 304 answer has no body,
// whatever its head says).
int qel_web_poll(qel_web* page);
// Copies the value of the response head line "name:" (the name in any case,
// spaces and tabs after the colon skipped) into dest, at most dlen - 1 bytes
// and always NUL-terminated; empty when the line is missing. A name over 254
// bytes or a dlen below 1 is refused and dest left alone.
void qel_web_get_header(qel_web* page, char* dest, int dlen, const char* name);
// Closes the socket and frees the record; null does nothing.
void qel_web_destroy(qel_web* page);

// Percent-encoding for form bodies and queries: ASCII letters and digits stay,
// every other byte becomes "%" and two lower-case hex digits.
// The bytes needed for l bytes of input, the NUL included; -1 when that does
// not fit an int.
int qel_web_urlencode_len(const char* in, int l);
// Encodes into the len bytes of out, which it zeroes first, stopping before
// the first byte whose encoding would leave no room for the NUL.
void qel_web_urlencode(char* out, int len, const char* in, int l);

#endif
