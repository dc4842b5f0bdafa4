// The reference for the engine's start-up time and peak memory: a bare SDL
// program that opens a 1280 x 720 OpenGL window with the engine's GL
// attributes, clears and swaps twice, and quits. Run by bench/speed.sh.
//   bare_window          the bare window
//   bare_window --quad   each frame also draws one textured, blended quad the
//                        way the engine draws an image (a 64 x 64 texture with
//                        its mipmap levels, client arrays): what any program
//                        that draws pays on top, in time and memory, on a
//                        software rasteriser that compiles its first draw
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstring>
#include <vector>

static void _quad_texture() {
    std::vector<unsigned char> px(64 * 64 * 4, 128);
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    for (int level = 0, side = 64; side >= 1; level++, side /= 2)
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

static void _quad_draw() {
    static const GLfloat xy[] = {-0.5f, -0.5f, 0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f};
    static const GLfloat st[] = {0, 0, 1, 0, 0, 1, 1, 1};
    glVertexPointer(2, GL_FLOAT, 0, xy);
    glTexCoordPointer(2, GL_FLOAT, 0, st);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

int main(int argc, char** argv) {
    bool quad = argc > 1 && !strcmp(argv[1], "--quad");
    if (SDL_Init(SDL_INIT_VIDEO) < 0) return 1;
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_Window* w = SDL_CreateWindow("bare", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1280, 720,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    SDL_GLContext c = w ? SDL_GL_CreateContext(w) : nullptr;
    if (!c) return 1;
    SDL_GL_SetSwapInterval(1);
    if (quad) _quad_texture();
    for (int i = 0; i < 2; i++) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (quad) _quad_draw();
        SDL_GL_SwapWindow(w);
    }
    SDL_GL_DeleteContext(c);
    SDL_DestroyWindow(w);
    SDL_Quit();
    return 0;
}
