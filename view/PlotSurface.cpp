// The OpenGL surface of the main window.
//
// Why a helper window: under Wine a pixel format on any visible window covers
// the whole client area with the GL image and hides every child control. So
// the rendering context lives on a hidden WS_POPUP window of its own class
// (never shown), every frame is drawn into an offscreen framebuffer the size
// of the main window's client area, read back and put on the main window in
// WM_PAINT (the main window clips its children, so the controls stay). Since
// the offscreen surface has the client area's size and origin, every GL call
// of the renderer stays as it would be for a surface on the window itself.
#include "view/PlotSurface.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "sound/SoundChain.h"
#include "view/PlotCoordinates.h"
#include "view/SoundGraph.h"

HDC GlDeviceContext = nullptr;
HGLRC GlRenderContext = nullptr;

namespace {

// GL_EXT_framebuffer_object, reached through wglGetProcAddress (opengl32
// exports only OpenGL 1.1).
constexpr GLenum FramebufferExt = 0x8D40;          // GL_FRAMEBUFFER_EXT
constexpr GLenum RenderbufferExt = 0x8D41;         // GL_RENDERBUFFER_EXT
constexpr GLenum ColorAttachment0Ext = 0x8CE0;     // GL_COLOR_ATTACHMENT0_EXT
constexpr GLenum FramebufferCompleteExt = 0x8CD5;  // GL_FRAMEBUFFER_COMPLETE_EXT
constexpr GLenum Rgba8 = 0x8058;                   // GL_RGBA8
constexpr GLenum BgraExt = 0x80E1;                 // GL_BGRA_EXT

using GenNamesFn = void(APIENTRY*)(GLsizei, GLuint*);
using DeleteNamesFn = void(APIENTRY*)(GLsizei, const GLuint*);
using BindNameFn = void(APIENTRY*)(GLenum, GLuint);
using RenderbufferStorageFn = void(APIENTRY*)(GLenum, GLenum, GLsizei, GLsizei);
using FramebufferRenderbufferFn = void(APIENTRY*)(GLenum, GLenum, GLenum, GLuint);
using CheckFramebufferStatusFn = GLenum(APIENTRY*)(GLenum);

struct FramebufferApi {
    GenNamesFn GenFramebuffers = nullptr;
    DeleteNamesFn DeleteFramebuffers = nullptr;
    BindNameFn BindFramebuffer = nullptr;
    GenNamesFn GenRenderbuffers = nullptr;
    DeleteNamesFn DeleteRenderbuffers = nullptr;
    BindNameFn BindRenderbuffer = nullptr;
    RenderbufferStorageFn RenderbufferStorage = nullptr;
    FramebufferRenderbufferFn FramebufferRenderbuffer = nullptr;
    CheckFramebufferStatusFn CheckFramebufferStatus = nullptr;
};

const wchar_t HelperClassName[] = L"Dudorori_gl_helper_Class";

HWND helperWindow = nullptr;
FramebufferApi fbo;
bool useFramebuffer = false;  // false: draw into the helper's back buffer
GLuint framebuffer = 0;
GLuint colorBuffer = 0;
// Grows whenever the drawing storage may have been replaced (resize).
unsigned surfaceGeneration = 0;
int surfaceWidth = 0;  // the client area the surface stands for
int surfaceHeight = 0;
int storageWidth = 0;  // the size the drawing storage was made for
int storageHeight = 0;
std::vector<uint32_t> readBack;  // one frame, bottom-up BGRA
// GL_BGRA_EXT where the context has it (OpenGL 1.2 or EXT_bgra), else
// GL_RGBA with red and blue swapped after the read.
GLenum readFormat = BgraExt;

template <typename Fn>
bool Load(Fn& target, const char* name) {
    PROC p = wglGetProcAddress(name);
    // Some drivers answer 1, 2, 3 or -1 instead of null for unknown names.
    const INT_PTR value = reinterpret_cast<INT_PTR>(p);
    if (p == nullptr || value == 1 || value == 2 || value == 3 || value == -1) return false;
    target = reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
    return true;
}

bool HasExtension(const char* name) {
    const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!all) return false;
    const size_t length = std::strlen(name);
    for (const char* p = std::strstr(all, name); p; p = std::strstr(p + length, name)) {
        const bool startsWord = p == all || p[-1] == ' ';
        const bool endsWord = p[length] == '\0' || p[length] == ' ';
        if (startsWord && endsWord) return true;
    }
    return false;
}

bool ReadsBgra() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (version && std::sscanf(version, "%d.%d", &major, &minor) == 2 && (major > 1 || (major == 1 && minor >= 2)))
        return true;
    return HasExtension("GL_EXT_bgra");
}

// The read-back pixels in the DIB's byte order (blue, green, red).
void SwapRedAndBlue(std::vector<uint32_t>& pixels) {
    for (uint32_t& p : pixels) p = (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
}

void PutOnWindow(HDC paintDc) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = surfaceWidth;
    info.bmiHeader.biHeight = surfaceHeight;  // bottom-up: the row order of OpenGL
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(paintDc, 0, 0, DWORD(surfaceWidth), DWORD(surfaceHeight), 0, 0, 0,
                      UINT(surfaceHeight), readBack.data(), &info, DIB_RGB_COLORS);
}

bool LoadFramebufferApi() {
    if (!HasExtension("GL_EXT_framebuffer_object")) return false;
    return Load(fbo.GenFramebuffers, "glGenFramebuffersEXT") &&
           Load(fbo.DeleteFramebuffers, "glDeleteFramebuffersEXT") &&
           Load(fbo.BindFramebuffer, "glBindFramebufferEXT") &&
           Load(fbo.GenRenderbuffers, "glGenRenderbuffersEXT") &&
           Load(fbo.DeleteRenderbuffers, "glDeleteRenderbuffersEXT") &&
           Load(fbo.BindRenderbuffer, "glBindRenderbufferEXT") &&
           Load(fbo.RenderbufferStorage, "glRenderbufferStorageEXT") &&
           Load(fbo.FramebufferRenderbuffer, "glFramebufferRenderbufferEXT") &&
           Load(fbo.CheckFramebufferStatus, "glCheckFramebufferStatusEXT");
}

// (Re)allocates the colour renderbuffer for the surface size and checks the
// framebuffer; on any failure drawing falls back to the back buffer.
void AllocateFramebuffer(int width, int height) {
    storageWidth = width;
    storageHeight = height;
    if (!useFramebuffer) return;
    // An empty renderbuffer would leave the framebuffer incomplete for good.
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    fbo.BindRenderbuffer(RenderbufferExt, colorBuffer);
    fbo.RenderbufferStorage(RenderbufferExt, Rgba8, width, height);
    fbo.BindRenderbuffer(RenderbufferExt, 0);
    fbo.BindFramebuffer(FramebufferExt, framebuffer);
    fbo.FramebufferRenderbuffer(FramebufferExt, ColorAttachment0Ext, RenderbufferExt, colorBuffer);
    if (fbo.CheckFramebufferStatus(FramebufferExt) != FramebufferCompleteExt) {
        fbo.BindFramebuffer(FramebufferExt, 0);
        fbo.DeleteFramebuffers(1, &framebuffer);
        fbo.DeleteRenderbuffers(1, &colorBuffer);
        framebuffer = colorBuffer = 0;
        useFramebuffer = false;
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
    }
}

void CreateFramebuffer() {
    if (!LoadFramebufferApi()) return;
    fbo.GenFramebuffers(1, &framebuffer);
    fbo.GenRenderbuffers(1, &colorBuffer);
    if (framebuffer == 0 || colorBuffer == 0) return;
    useFramebuffer = true;
    AllocateFramebuffer(surfaceWidth, surfaceHeight);
}

// Applies the plot projection for the current PlotBounds: the extents fill
// the viewport with a margin of a five-hundredth of each extent.
void ApplyPlotProjection() {
    const PlotExtents view = ProjectedExtents(PlotBounds);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(view.xMin, view.xMax, view.yMin, view.yMax);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

bool SetupPixelFormat() {
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cRedBits = 8;
    pfd.cRedShift = 16;
    pfd.cGreenBits = 8;
    pfd.cGreenShift = 8;
    pfd.cBlueBits = 8;
    pfd.cBlueShift = 0;
    pfd.cAccumBits = 64;
    pfd.cAccumRedBits = pfd.cAccumGreenBits = pfd.cAccumBlueBits = 16;
    pfd.cDepthBits = 32;
    pfd.cStencilBits = 8;
    pfd.iLayerType = PFD_MAIN_PLANE;
    int format = ChoosePixelFormat(GlDeviceContext, &pfd);
    if (format == 0) {
        format = 1;
        if (DescribePixelFormat(GlDeviceContext, format, sizeof(PIXELFORMATDESCRIPTOR), &pfd) == 0)
            return false;
    }
    return SetPixelFormat(GlDeviceContext, format, &pfd) != FALSE;
}

HWND CreateHelperWindow(HWND owner) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    if (!instance) instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_OWNDC;  // one device context for the context's whole life
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = HelperClassName;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
    // Never shown; sized like the client area so the fallback back buffer can
    // hold a whole frame.
    return CreateWindowExW(WS_EX_TOOLWINDOW, HelperClassName, L"", WS_POPUP, 0, 0,
                           surfaceWidth > 0 ? surfaceWidth : 1, surfaceHeight > 0 ? surfaceHeight : 1,
                           nullptr, nullptr, instance, nullptr);
}

void InitStartUpState() {
    InitSoundGraph();
    FastGraphReady = false;
    FastGraphMode = true;
    Sound.Head = nullptr;
    Sound.Current = nullptr;
    Sound.Channels = 1;
    Sound.SamplesPerSec = 44100;
    Sound.BitsPerSample = 16;
    Sound.TotalBytes = 0;
    Sound.TotalMs = 0;
    Sound.PlayedBytes = 0;
    Sound.PlayedMs = 0;
    Sound.CaptureFormat = MakePcmFormat(1, 44100, 16);
    Sound.PlaybackFormat = MakePcmFormat(1, 44100, 16);
    Sound.FragmentSize = 8000;
}

}  // namespace

void CreateGlSurface(HWND window) {
    RECT client{};
    if (GetClientRect(window, &client)) {
        surfaceWidth = client.right - client.left;
        surfaceHeight = client.bottom - client.top;
    }
    helperWindow = CreateHelperWindow(window);
    GlDeviceContext = GetDC(helperWindow);
    SetupPixelFormat();  // a failure leaves a surface that shows nothing
    GlRenderContext = wglCreateContext(GlDeviceContext);
    wglMakeCurrent(GlDeviceContext, GlRenderContext);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    readFormat = ReadsBgra() ? BgraExt : GL_RGBA;
    CreateFramebuffer();
    InitStartUpState();
}

void ResizeGlSurface(int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    surfaceWidth = width;
    surfaceHeight = height;
    // A minimised window has a 0 x 0 client area: nothing is presented then,
    // and the storage with the last frame is kept as it is, so a restore at
    // the same size presents that frame again instead of drawing it anew.
    if (width == 0 || height == 0) return;
    // Windows sends WM_SIZE for much besides a change of size (a restore, a
    // show); only a new size needs new storage.
    if (width == storageWidth && height == storageHeight) return;
    storageWidth = width;
    storageHeight = height;
    ++surfaceGeneration;
    if (helperWindow)
        SetWindowPos(helperWindow, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    AllocateFramebuffer(width, height);
}

void SetPlotViewport(int x, int y, int width, int height) {
    // Negative sizes (minimised window) are an error to glViewport; an empty
    // viewport draws nothing, which is what a minimised window needs.
    glViewport(x, y, width > 0 ? width : 0, height > 0 ? height : 0);
    ApplyPlotProjection();
}

bool SetupPlotCoordinates(const SoundFragment* head) {
    if (!ComputePlotBounds(head)) return false;
    ApplyPlotProjection();
    return true;
}

bool GlSurfaceHasPixels() { return surfaceWidth > 0 && surfaceHeight > 0; }

bool GlSurfaceUsesFramebuffer() { return useFramebuffer; }

unsigned GlSurfaceGeneration() { return surfaceGeneration; }

void PresentFrame(HDC paintDc) {
    if (!GlSurfaceHasPixels() || !paintDc) return;
    const size_t count = size_t(surfaceWidth) * size_t(surfaceHeight);
    if (readBack.size() != count) readBack.assign(count, 0xFFFFFFFFu);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, surfaceWidth, surfaceHeight, readFormat, GL_UNSIGNED_BYTE, readBack.data());
    if (readFormat != BgraExt) SwapRedAndBlue(readBack);
    PutOnWindow(paintDc);
}

void PresentHeldFrame(HDC paintDc) {
    if (!GlSurfaceHasPixels() || !paintDc) return;
    // The fallback's back buffer need not have kept the frame, but the pixels
    // that presented it are still here.
    if (useFramebuffer || readBack.size() != size_t(surfaceWidth) * size_t(surfaceHeight)) {
        PresentFrame(paintDc);
        return;
    }
    PutOnWindow(paintDc);
}
