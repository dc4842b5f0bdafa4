// Test helper: opens the driver's window with a real GL context, and the
// graphics layer on it.
#include "gl_window.h"

#include <GL/gl.h>
#include <cstdlib>

#include "qel_driver.h"
#include "qel_gfx.h"

bool gl_window_open(int w, int h, std::string* why) {
    // With X unreachable SDL would fall back to a driver without a window.
    setenv("SDL_VIDEODRIVER", "x11", 1);
    if (!getenv("DISPLAY")) {
        *why = "DISPLAY is not set: run under an X server (test.sh starts Xvfb)";
        return false;
    }
    driver_init(DRIVER_VIDEO | DRIVER_TIMER);
    driver_video_init(w, h, 0, 0, 64, 64, 0);
    if (!glGetString(GL_VERSION)) {
        *why = "no GL context on DISPLAY";
        driver_deinit();
        return false;
    }
    return true;
}

void gl_window_close() { driver_deinit(); }

bool gl_window_gfx_open(int w, int h, std::string* why) {
    if (!gl_window_open(w, h, why)) return false;
    driver_set_gamename("G");
    gfx_init();
    gl_window_view();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4ub(255, 255, 255, 255);
    return true;
}

void gl_window_gfx_close() {
    gfx_deinit();
    gl_window_close();
}

void gl_window_view() {
    int w, h;
    driver_get_size(&w, &h);
    gfx_set_size(w, h);
    gfx_set_scale(1);
    gfx_set_orient(0);
    gfx_set_shift(0, 0);
    gfx_ortho();
}

GlPixel gl_pixel(int x, int y) {
    gfx_flush();
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    unsigned char p[4] = {0, 0, 0, 0};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, h - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return GlPixel{p[0], p[1], p[2], p[3]};
}

std::vector<unsigned char> gl_pixels() {
    gfx_flush();
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    std::vector<unsigned char> px((size_t)w * h * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

// Large enough for every primitive a test draws in one go.
static const int _gl_feedback_size = 1 << 16;

// GL_3D_COLOR_TEXTURE vertices: x, y, z, r, g, b, a, s, t, r, q.
std::vector<GlTriangle> gl_feedback(const std::function<void()>& draw) {
    std::vector<float> buf(_gl_feedback_size);
    // Only what draw() itself sends is fed back.
    gfx_flush();
    glFeedbackBuffer(_gl_feedback_size, GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    gfx_flush();
    int n = glRenderMode(GL_RENDER);
    std::vector<GlTriangle> out;
    int i = 0;
    while (i < n) {
        int token = (int)buf[i++];
        if (token != GL_POLYGON_TOKEN) break;
        int count = (int)buf[i++];
        GlTriangle tri;
        for (int k = 0; k < count; k++, i += 11)
            tri.push_back(GlFeedbackVertex{buf[i], buf[i + 1], buf[i + 7], buf[i + 8], buf[i + 3], buf[i + 4],
                                           buf[i + 5], buf[i + 6]});
        out.push_back(tri);
    }
    return out;
}
