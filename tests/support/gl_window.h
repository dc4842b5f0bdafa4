// Test helper: the driver's real window with its GL context, under the X
// server named by DISPLAY, the graphics layer on it, and read-back of what was
// drawn.
#ifndef QEL_TEST_GL_WINDOW_H
#define QEL_TEST_GL_WINDOW_H

#include <functional>
#include <string>
#include <vector>

// Starts the driver (video and timer) on the x11 video driver and opens a
// w x h window; false, with the reason in *why, when no GL context came.
bool gl_window_open(int w, int h, std::string* why);
// Stops the driver: window, context and SDL.
void gl_window_close();

// gl_window_open, then the graphics layer for the game "G" in window pixels
// (gl_window_view), the back buffer cleared to black and the colour white.
bool gl_window_gfx_open(int w, int h, std::string* why);
// Stops the graphics layer, then the driver.
void gl_window_gfx_close();
// Sets the graphics layer's view so that logical coordinates are window
// pixels: the window's size, scale 1, no turn, no shift.
void gl_window_view();

struct GlPixel {
    int r, g, b, a;
};
// The back buffer's pixel at (x, y) counted from the top-left, read before
// any swap (the front buffer is undefined under Xvfb). Like every read here,
// it draws the graphics layer's pending quads first.
GlPixel gl_pixel(int x, int y);
// The whole back buffer as RGBA bytes, in GL's order (the bottom row first).
std::vector<unsigned char> gl_pixels();

// A drawn triangle as GL feedback reports it: window x, y (origin
// bottom-left) and texture s, t of each corner.
struct GlFeedbackVertex {
    float x, y, s, t;
    float r, g, b, a;  // the vertex colour
};
typedef std::vector<GlFeedbackVertex> GlTriangle;
// Runs draw in feedback mode and returns the triangles it produced.
std::vector<GlTriangle> gl_feedback(const std::function<void()>& draw);

#endif
