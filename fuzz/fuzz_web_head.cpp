// Fuzz target: a response through the HTTP client's receive step, cut into
// receives where the input says (a socket pair stands in for the
// connection), then qel_web_get_header on the head it found. The head's end
// must be where one search over the whole response puts it, however the
// bytes were cut, a status without a body must leave the body empty, and a
// header value must stay inside dest.
//
// Input: byte 0 = n (0 to 7), the next n bytes the sizes of the receives in
// turn (1 to 256; none: 4096); a byte m and m % 32 bytes of header name; a
// byte giving dlen (1 to 64); the rest is the response.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "qel_posix.h"
#include "qel_web.h"

// Offset just past the first empty line (carriage returns skipped), or 0.
static int _head_end(const uint8_t* d, size_t n) {
    bool lf = false;
    for (size_t i = 0; i < n; i++) {
        if (d[i] == '\r') continue;
        if (d[i] == '\n' && lf) return (int)i + 1;
        lf = d[i] == '\n';
    }
    return 0;
}

// Whether the head's first line is "HTTP/", a version, spaces and a status
// of 1xx, 204 or 304 (three digits, then a space or the line's end).
static bool _no_body_status(const uint8_t* d, int head) {
    std::string line((const char*)d, (size_t)head);
    line = line.substr(0, line.find_first_of("\r\n"));
    if (line.compare(0, 5, "HTTP/") != 0) return false;
    size_t s = line.find(' ', 5);
    if (s == std::string::npos) return false;
    s = line.find_first_not_of(' ', s);
    if (s == std::string::npos || line.size() - s < 3 || (line.size() > s + 3 && line[s + 3] != ' ')) return false;
    for (size_t k = s; k < s + 3; k++)
        if (line[k] < '0' || line[k] > '9') return false;
    int status = atoi(line.substr(s, 3).c_str());
    return (status >= 100 && status <= 199) || status == 204 || status == 304;
}

static void _check_header(qel_web* page, const char* name, int dlen) {
    char dest[65 + 1];
    memset(dest, 'Z', sizeof dest);
    qel_web_get_header(page, dest, dlen, name);
    if (dest[dlen] != 'Z' || dest[dlen - 1] != 0) abort();
    // A value may hold NUL bytes: what stands before the first must be in
    // the head, and no value holds a line end.
    size_t vlen = strlen(dest);
    if (vlen > 0 && (dest[0] == ' ' || dest[0] == '\t')) abort();
    if (memchr(dest, '\r', (size_t)dlen) || memchr(dest, '\n', (size_t)dlen)) abort();
    if (vlen > 0 && !memmem(page->_response.data, (size_t)page->header, dest, vlen)) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t p = 0, nsizes = data[p++] % 8;
    if (size < p + nsizes + 2) return 0;
    const uint8_t* sizes = data + p;
    p += nsizes;
    size_t nlen = data[p++] % 32;
    if (size < p + nlen + 1) return 0;
    char name[32];
    memcpy(name, data + p, nlen);
    name[nlen] = 0;
    p += nlen;
    int dlen = 1 + data[p++] % 64;
    const uint8_t* resp = data + p;
    size_t rlen = size - p;

    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) abort();
    // A request already sent, its socket the pair's end.
    qel_web* page = qel_web_create("127.0.0.1", 9, "/", nullptr, 0, 1000);
    if (page->error) abort();
    posix_socket_close(page->sockfd);
    page->sockfd = sv[0];
    if (posix_socket_nonblock(sv[0]) != 0) abort();
    page->state = QEL_WEB_STATE_RECV;

    for (size_t done = 0, k = 0; done < rlen; k++) {
        size_t n = nsizes ? 1 + sizes[k % nsizes] : 4096;
        if (n > rlen - done) n = rlen - done;
        if (write(sv[1], resp + done, n) != (ssize_t)n) abort();
        if (qel_web_poll(page) != 0 || page->_response.len != (int)(done + n)) abort();
        done += n;
    }
    close(sv[1]);
    // Nothing at all, or a status line whose head never ends, fails; so may
    // a head whose Content-Length the body falls short of, unless its status
    // has no body. What came stays.
    int head = _head_end(resp, rlen);
    bool status = rlen >= 5 && memcmp(resp, "HTTP/", 5) == 0;
    bool cut = rlen == 0 || (status && head == 0);
    bool no_body = head != 0 && _no_body_status(resp, head);
    if (qel_web_poll(page) != 1) abort();
    if (page->error ? page->state != QEL_WEB_STATE_RECV || (!cut && (head == 0 || no_body))
                    : page->state != QEL_WEB_STATE_DONE || cut)
        abort();

    const qel_web_buffer& r = page->_response;
    if (r.len != (int)rlen || (rlen && memcmp(r.data, resp, rlen) != 0)) abort();
    for (int i = r.len; i < r.alloc; i++)
        if (r.data[i] != 0) abort();
    if (page->header != head) abort();
    if (page->data != r.data + head || page->len != ((status && head == 0) || no_body ? 0 : r.len - head)) abort();

    _check_header(page, name, dlen);
    _check_header(page, "Content-Length", dlen);
    qel_web_destroy(page);
    return 0;
}
