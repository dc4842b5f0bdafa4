// qel_web: the request record, its non-blocking steps, the response head
// search, the form encoder and the host name cache.
#include "qel_web.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "qel_posix.h"

// An entry of the name cache.
struct HostAddr {
    int ok;  // 1 when value holds a resolved address
    in_addr value;
    explicit HostAddr(in_addr a) : ok(1), value(a) {}
};

static int _qel_web_is_init = 0;

// Whole wall-clock seconds: every deadline here uses them.
static long qel_web_get_ticks() { return (long)time(nullptr); }

static void qel_web_reset_timeout(qel_web* page) { page->timeout = qel_web_get_ticks() + page->_timeout; }

// Successful look-ups only, so a name that failed is tried again next time.
// Entries are never removed: the addresses handed out stay valid.
static in_addr* qel_gethostbyname(const char* _name) {
    static std::map<std::string, HostAddr> cache;
    auto it = cache.find(_name);
    if (it == cache.end()) {
        fprintf(stderr, "gethostbyname ...\n");
        in_addr addr;
        int err;
        if (!posix_net_resolve(_name, &addr, &err)) {
            fprintf(stderr, "gethostbyname(%s) == null; h_errno = %d\n", _name, err);
            return nullptr;
        }
        fprintf(stderr, "qel_gethostbyname('%s') cached\n", _name);
        it = cache.emplace(_name, HostAddr(addr)).first;
    }
    return it->second.ok ? &it->second.value : nullptr;
}

// Makes room for ext more bytes: the capacity doubles until it holds them, and
// every byte from len to the end of a grown block is zero. 0, or -1 (with the
// buffer unchanged) when the block cannot grow or its size would not fit.
static int qel_web_extend(qel_web_buffer* buf, int ext) {
    long long target = (long long)buf->len + ext;
    long long cap = buf->alloc ? buf->alloc : 1;
    while (cap < target) cap *= 2;
    if (ext < 0 || cap > INT_MAX) {
        fprintf(stderr, "qel_web: a buffer of %d bytes cannot grow by %d\n", buf->len, ext);
        return -1;
    }
    if (cap > buf->alloc) {
        unsigned char* data = (unsigned char*)realloc(buf->data, (size_t)cap);
        if (!data) {
            fprintf(stderr, "qel_web: out of memory growing a buffer to %lld bytes\n", cap);
            return -1;
        }
        memset(data + buf->len, 0, (size_t)(cap - buf->len));
        buf->data = data;
        buf->alloc = (int)cap;
    }
    return 0;
}

// Looks for the empty line that ends the response head, carriage returns
// skipped, in the bytes that came since the last search; sets header just
// past it.
static void qel_find_header(qel_web* page) {
    const unsigned char* d = page->_response.data;
    int i = page->_head_searched;
    int lf = page->_head_lf;
    for (; i < page->_response.len; i++) {
        if (d[i] == '\r') continue;
        if (d[i] != '\n') {
            lf = 0;
        } else if (lf) {
            page->header = i + 1;
            return;
        } else {
            lf = 1;
        }
    }
    page->_head_searched = i;
    page->_head_lf = lf;
}

// The request head, its lines ended with CR LF (some servers refuse a bare
// line feed); the length it has (or would have with more room), as snprintf
// counts.
static int _qel_web_head(char* out, size_t size, const qel_web* page, int postlen) {
    if (postlen == 0)
        return snprintf(out, size, "GET %s HTTP/1.0\r\nHost: %s:%d\r\n\r\n", page->path, page->host, page->port);
    return snprintf(out, size,
                    "POST %s HTTP/1.0\r\nHost: %s:%d\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                    "Content-Length: %d\r\n\r\n",
                    page->path, page->host, page->port, postlen);
}

// The request bytes into _request; -1 when they do not fit in memory.
static int _qel_web_request(qel_web* page, const char* post, int postlen) {
    int n = _qel_web_head(nullptr, 0, page, postlen);
    if (n < 0 || qel_web_extend(&page->_request, n + 1 > 1024 ? n + 1 : 1024) != 0) return -1;
    _qel_web_head((char*)page->_request.data, (size_t)page->_request.alloc, page, postlen);
    page->_request.len = n;
    if (postlen == 0) return 0;
    if (qel_web_extend(&page->_request, postlen) != 0) return -1;
    memcpy(page->_request.data + page->_request.len, post, (size_t)postlen);
    page->_request.len += postlen;
    return 0;
}

// A control byte, CR and LF among them, would end the request line or the
// Host line early and let what follows stand as lines of its own.
static bool _qel_web_has_control(const char* s) {
    for (; *s; s++)
        if ((unsigned char)*s < 0x20 || *s == 0x7f) return true;
    return false;
}

int qel_web_init() {
    if (posix_net_start() != 0) return -1;
    _qel_web_is_init = 1;
    return 0;
}

void qel_web_deinit() {
    if (_qel_web_is_init) posix_net_stop();
}

qel_web* qel_web_create(const char* _host, int port, const char* _path, const char* post, int postlen,
                        int timeout) {
    qel_web* page = (qel_web*)calloc(1, sizeof *page);
    if (!page) {
        fprintf(stderr, "qel_web_create: out of memory\n");
        return nullptr;
    }
    page->sockfd = -1;
    page->port = port;
    page->_timeout = timeout;
    qel_web_reset_timeout(page);

    size_t host_len = strlen(_host), path_len = strlen(_path);
    if (host_len >= sizeof page->host || path_len >= sizeof page->path || postlen < 0) {
        fprintf(stderr, "qel_web_create: refused: host of %zu bytes, path of %zu bytes, postlen %d\n", host_len,
                path_len, postlen);
        page->error = 1;
        return page;
    }
    if (_qel_web_has_control(_host) || _qel_web_has_control(_path)) {
        fprintf(stderr, "qel_web_create: refused: a control byte in the host or path\n");
        page->error = 1;
        return page;
    }
    // Cut to the 16 bits of the address, a port outside the range would name
    // another one (73536 is 8000).
    if (port < 1 || port > 65535) {
        fprintf(stderr, "qel_web_create: refused: port %d is not 1 to 65535\n", port);
        page->error = 1;
        return page;
    }
    memcpy(page->host, _host, host_len + 1);
    memcpy(page->path, _path, path_len + 1);
    if (_qel_web_request(page, post, postlen) != 0) {
        page->error = 1;
        return page;
    }

    in_addr* addr = qel_gethostbyname(page->host);
    if (!addr) {
        fprintf(stderr, "qel_gethostbyname == null\n");
        page->error = 1;
        return page;
    }
    page->their_addr.sin_family = AF_INET;
    page->their_addr.sin_port = htons((uint16_t)port);
    page->their_addr.sin_addr = *addr;

    page->sockfd = posix_socket_open();
    if (page->sockfd == -1) {
        perror("socket");
        fprintf(stderr, "socket() == -1\n");
        page->error = 1;
        return page;
    }
    long r = posix_socket_nonblock(page->sockfd);
    if (r != 0) {
        printf("ioctlsocket failed with error: %ld\n", r);
        page->error = 1;
        return page;
    }
    page->state = QEL_WEB_STATE_CONNECT;
    return page;
}

static int _qel_web_send(qel_web* page) {
    qel_web_buffer* req = &page->_request;
    long n = posix_socket_send(page->sockfd, req->data + req->pos, req->len - req->pos);
    if (n < 0) {
        perror("send");
        fprintf(stderr, "send error!!\n");
        page->error = 1;
        return 1;
    }
    req->pos += (int)n;
    if (n > 0) qel_web_reset_timeout(page);
    if (req->pos >= req->len) page->state = QEL_WEB_STATE_RECV;
    return 0;
}

// Whether the response opens with a status line: then its head ends only at
// an empty line, and nothing before that is body.
static bool _qel_web_has_status(const qel_web_buffer* res) {
    return res->len >= 5 && memcmp(res->data, "HTTP/", 5) == 0;
}

// Whether the head's status line ("HTTP/", the version, a space, three
// digits) gives a status that by HTTP has no body: 1xx, 204 or 304. Such a
// response is complete at the end of its head, whatever its Content-Length.
static bool _qel_web_status_has_no_body(const qel_web_buffer* res, int head_end) {
    if (!_qel_web_has_status(res)) return false;
    const unsigned char* d = res->data;
    int i = 5;
    while (i < head_end && d[i] != ' ' && d[i] != '\r' && d[i] != '\n') i++;
    while (i < head_end && d[i] == ' ') i++;
    if (head_end - i < 4) return false;
    for (int k = 0; k < 3; k++)
        if (d[i + k] < '0' || d[i + k] > '9') return false;
    if (d[i + 3] != ' ' && d[i + 3] != '\r' && d[i + 3] != '\n') return false;
    int status = (d[i] - '0') * 100 + (d[i + 1] - '0') * 10 + (d[i + 2] - '0');
    return (status >= 100 && status <= 199) || status == 204 || status == 304;
}

// Points data and len at the body, which follows the head. Until the head's
// end is found, a response that opened with a status line has no body yet and
// any other counts as all body, which is what a connection that never sends a
// head leaves. A status without a body keeps len at 0, whatever follows.
static void _qel_web_set_body(qel_web* page) {
    const qel_web_buffer* res = &page->_response;
    bool none = page->header == 0 ? _qel_web_has_status(res) : page->_no_body;
    page->data = res->data + page->header;
    page->len = none ? 0 : res->len - page->header;
}

// Whether the head declares a Content-Length (digits, blanks after them
// allowed) beyond the body that came; the digits go to v.
static bool _qel_web_body_short(qel_web* page, char* v, int vlen) {
    qel_web_get_header(page, v, vlen, "Content-Length");
    char* p = v;
    if (*p < '0' || *p > '9') return false;
    long long n = 0;
    // Past 2^40 the count stops growing: no body comes near it.
    for (; *p >= '0' && *p <= '9'; p++)
        if (n < (1LL << 40)) n = n * 10 + (*p - '0');
    char* digits_end = p;
    while (*p == ' ' || *p == '\t') p++;
    if (*p != 0) return false;
    *digits_end = 0;
    return n > page->len;
}

// The peer closed: the response is complete unless it was cut short, which
// fails the request with what came kept.
static int _qel_web_closed(qel_web* page) {
    char declared[64];
    if (page->_response.len == 0) {
        fprintf(stderr, "qel_web: the peer closed without answering\n");
    } else if (page->header == 0 && _qel_web_has_status(&page->_response)) {
        fprintf(stderr, "qel_web: the response ended inside its head\n");
    } else if (!page->_no_body && _qel_web_body_short(page, declared, sizeof declared)) {
        fprintf(stderr, "qel_web: the body ended after %d of %s bytes\n", page->len, declared);
    } else {
        page->state = QEL_WEB_STATE_DONE;
        return 1;
    }
    page->error = 1;
    return 1;
}

// Takes what the socket holds, up to POLL_MAX bytes a call: a game polling
// once a frame is not held to a few kilobytes a frame, and the frame stays
// short however fast the bytes come.
static int _qel_web_recv(qel_web* page) {
    enum { CHUNK = 4096, POLL_MAX = 1 << 20 };
    qel_web_buffer* res = &page->_response;
    int got = 0;
    while (got < POLL_MAX) {
        if (res->alloc - res->len < CHUNK) {
            // What came so far stays in the record when the buffer cannot grow.
            if (qel_web_extend(res, CHUNK) != 0) {
                page->error = 1;
                return 1;
            }
            _qel_web_set_body(page);  // the block may have moved
        }
        int room = res->alloc - res->len;
        if (room > POLL_MAX - got) room = POLL_MAX - got;
        long n = posix_socket_recv(page->sockfd, res->data + res->len, room);
        if (n < 0) {
            if (posix_would_block(posix_socket_error())) break;
            perror("recv");
            page->error = 1;
            return 1;
        }
        if (n == 0) return _qel_web_closed(page);
        res->len += (int)n;
        got += (int)n;
        if (page->header == 0) {
            qel_find_header(page);
            if (page->header) page->_no_body = _qel_web_status_has_no_body(res, page->header);
        }
        _qel_web_set_body(page);
    }
    if (got > 0) qel_web_reset_timeout(page);
    return 0;
}

int qel_web_poll(qel_web* page) {
    if (page->state == QEL_WEB_STATE_DONE || page->error) return 1;
    if (qel_web_get_ticks() > page->timeout) {
        fprintf(stderr, "timeout :: state = %d\n", page->state);
        page->error = 1;
        return 1;
    }
    if (page->state == QEL_WEB_STATE_CONNECT) {
        if (posix_socket_connect(page->sockfd, &page->their_addr) != 0) {
            int err = posix_socket_error();
            if (!posix_would_block(err)) {
                fprintf(stderr, "connect: %d\n", err);
                page->error = 1;
                return 1;
            }
        }
        page->state = QEL_WEB_STATE_SEND;
        qel_web_reset_timeout(page);
    }
    bool readable, writable;
    int ready = posix_socket_ready(page->sockfd, &readable, &writable);
    if (ready < 0) {
        perror("select");
        fprintf(stderr, "error in select\n");
        page->error = 1;
        return 1;
    }
    if (ready == 0) return 0;
    if (page->state == QEL_WEB_STATE_SEND && writable) return _qel_web_send(page);
    if (page->state == QEL_WEB_STATE_RECV && readable) return _qel_web_recv(page);
    return 0;
}

// Header names are compared in any case, as HTTP has them. Only ASCII letters
// fold, so the locale plays no part.
static unsigned char _qel_web_lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

static bool _qel_web_same_name(const unsigned char* d, const char* key, int n) {
    for (int i = 0; i < n; i++)
        if (_qel_web_lower(d[i]) != _qel_web_lower((unsigned char)key[i])) return false;
    return true;
}

void qel_web_get_header(qel_web* page, char* dest, int dlen, const char* name) {
    char key[256];
    size_t name_len = strlen(name);
    if (dlen < 1 || name_len + 1 >= sizeof key) {
        fprintf(stderr, "qel_web_get_header: refused: name of %zu bytes, dlen %d\n", name_len, dlen);
        return;
    }
    memset(dest, 0, (size_t)dlen);
    memcpy(key, name, name_len);
    key[name_len] = ':';
    int key_len = (int)name_len + 1;

    // Only the head is searched, its status line included.
    const unsigned char* d = page->_response.data;
    int end = page->header;
    int i = 0;
    while (i < end) {
        if (end - i >= key_len && _qel_web_same_name(d + i, key, key_len)) {
            int j = i + key_len;
            // HTTP allows spaces and tabs before the value.
            while (j < end && (d[j] == ' ' || d[j] == '\t')) j++;
            for (int n = 0; j < end && d[j] != '\r' && d[j] != '\n' && n < dlen - 1; n++) dest[n] = (char)d[j++];
            return;
        }
        while (i < end && d[i] != '\n') i++;
        i++;
    }
}

void qel_web_destroy(qel_web* page) {
    if (!page) return;
    if (page->sockfd != -1) posix_socket_close(page->sockfd);
    free(page->_request.data);
    free(page->_response.data);
    free(page);
}

// Letters and digits of ASCII only: the locale must not change the encoding.
static bool _qel_web_plain(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

int qel_web_urlencode_len(const char* in, int l) {
    long long n = 1;
    for (int i = 0; i < l; i++) n += _qel_web_plain((unsigned char)in[i]) ? 1 : 3;
    return n > INT_MAX ? -1 : (int)n;
}

void qel_web_urlencode(char* out, int len, const char* in, int l) {
    static const char hex[] = "0123456789abcdef";
    if (len < 1) return;
    memset(out, 0, (size_t)len);
    int o = 0;
    for (int i = 0; i < l; i++) {
        unsigned char c = (unsigned char)in[i];
        bool plain = _qel_web_plain(c);
        // Room for this encoding and the NUL after it.
        if (len - o <= (plain ? 1 : 3)) break;
        if (plain) {
            out[o++] = (char)c;
        } else {
            out[o++] = '%';
            out[o++] = hex[c >> 4];
            out[o++] = hex[c & 15];
        }
    }
}
