#include "app/InfoBoxes.h"

#include <windows.h>
#include <GL/gl.h>

#include <cwchar>
#include <string>

#include "app/AppState.h"
#include "app/ControlIds.h"

namespace {

const char* GlText(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

}  // namespace

void ShowAboutBox() {
    wchar_t buildDate[250] = {};
    MultiByteToWideChar(CP_ACP, 0, __DATE__, -1, buildDate, 250);
    std::wstring text = L" Dudorori";
    text += L"\n Version " DUDORORI_VERSION L" (audio recorder and editor)";
    text += L" \n Unicode version \n Windows XP compatibility";
    text += L"\n\n Build date: ";
    text += buildDate;

    MSGBOXPARAMSW params = {};
    params.cbSize = sizeof(params);
    params.hwndOwner = MainWindow;
    params.hInstance = AppInstance;
    params.lpszText = text.c_str();
    params.lpszCaption = L"About";
    params.dwStyle = MB_USERICON;
    params.lpszIcon = MAKEINTRESOURCEW(IDI_APP_ICON);
    params.dwLanguageId = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
    MessageBoxIndirectW(&params);
}

void ShowOpenGlInfoBox() {
    // The strings of the live context, which is current on this thread.
    wchar_t text[250] = {};
    swprintf(text, 250, L"Renderer: %hs\nVendor: %hs\nVersion: %hs", GlText(GL_RENDERER), GlText(GL_VENDOR),
             GlText(GL_VERSION));
    MessageBoxW(MainWindow, text, L"OpenGL Info", MB_OK);
}
