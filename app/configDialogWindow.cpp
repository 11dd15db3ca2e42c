// The configuration dialog on screen: see configDialogWindow.h. One ImGui
// window fills the SDL window; the three group boxes are bordered child
// regions sized for their rows, since this ImGui cannot size them itself.
#include "app/configDialogWindow.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <imgui.h>

#if __has_include(<backends/imgui_impl_sdl2.h>)
#include <backends/imgui_impl_sdl2.h>
#else
#include <backends/imgui_impl_sdl.h>
#endif
#include <backends/imgui_impl_opengl3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/log.h"

namespace {

// The dialog's 299 x 198 units at the usual 1.5 x 1.625 pixels per unit.
constexpr int kWidth = 449;
constexpr int kHeight = 322;
constexpr int kThemeColumns = 3;
constexpr float kButtonWidth = 80.0f;
constexpr Uint32 kBlinkMilliseconds = 250;
constexpr const char* kGlslVersion = "#version 130";
constexpr const char* kDeviceIdHint = "Device identifier for online updates (may be empty):";
const ImVec4 kErrorColour(0.75f, 0.0f, 0.0f, 1.0f);

bool headlessDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

// A titled frame around `rows` rows of widgets; close with ImGui::EndChild().
void beginGroup(const char* title, int rows) {
    ImGui::TextUnformatted(title);
    const ImGuiStyle& style = ImGui::GetStyle();
    float height = rows * ImGui::GetFrameHeightWithSpacing() - style.ItemSpacing.y +
                   2.0f * style.WindowPadding.y;
    ImGui::BeginChild(title, ImVec2(0.0f, height), true, ImGuiWindowFlags_NoScrollbar);
}

// A labelled slider whose bar starts at `barStart` from the group's left edge.
void slider(const ConfigSlider& slider, const char* format, float barStart, int* value) {
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(slider.label);
    ImGui::SameLine(barStart);
    ImGui::SetNextItemWidth(-1.0f);
    std::string id = std::string("##") + slider.label;
    ImGui::SliderInt(id.c_str(), value, slider.minimum, slider.maximum, format,
                     ImGuiSliderFlags_AlwaysClamp);
}

}  // namespace

CConfigDialogWindow::CConfigDialogWindow(CConfigDialog& dialog) : dialog_(dialog) {}

CConfigDialogWindow::~CConfigDialogWindow() {
    destroy();
}

bool CConfigDialogWindow::fail(const std::string& text) {
    error_ = text;
    Log(LOG_WARNING, "CConfigDialogWindow - %s (%s)\n", text.c_str(), SDL_GetError());
    destroy();
    return false;
}

bool CConfigDialogWindow::create() {
    // A busy X server now and then refuses a connection, and SDL then quietly
    // falls back to a driver that draws nowhere; ask again before settling.
    for (int attempt = 1;; ++attempt) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) break;
        videoReady_ = true;
        if (!headlessDriver() || attempt == 5 || SDL_getenv("SDL_VIDEODRIVER")) break;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoReady_ = false;
        SDL_Delay(50 * attempt);
    }
    if (!videoReady_ || headlessDriver()) {
        return fail(
            "no display to draw on: DISPLAY is not set or the X server refused the connection "
            "(run it on a desktop, or under xvfb-run)");
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    window_ = SDL_CreateWindow(CConfigDialog::kTitle, SDL_WINDOWPOS_CENTERED,
                               SDL_WINDOWPOS_CENTERED, kWidth, kHeight, SDL_WINDOW_OPENGL);
    if (!window_) return fail("unable to open the dialog's window");
    context_ = SDL_GL_CreateContext(window_);
    if (!context_ || SDL_GL_MakeCurrent(window_, context_) != 0)
        return fail("unable to create an OpenGL 3 context for the dialog");
    SDL_GL_SetSwapInterval(1);

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    imguiReady_ = true;
    // The dialog keeps no layout of its own between runs.
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::GetIO().LogFilename = nullptr;
    ImGui::StyleColorsLight();
    if (!ImGui_ImplSDL2_InitForOpenGL(window_, context_) || !ImGui_ImplOpenGL3_Init(kGlslVersion))
        return fail("unable to start drawing the dialog");

    dialog_.open();
    std::snprintf(deviceId_, sizeof deviceId_, "%s", dialog_.choices().deviceId.c_str());
    result_ = Result::Open;
    return true;
}

void CConfigDialogWindow::destroy() {
    if (imguiReady_) {
        // A backend that failed to start must not be shut down: its shutdown
        // asserts that it is running.
        if (ImGui::GetIO().BackendRendererUserData) ImGui_ImplOpenGL3_Shutdown();
        if (ImGui::GetIO().BackendPlatformUserData) ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext();
        imguiReady_ = false;
    }
    if (context_) SDL_GL_DeleteContext(context_);
    context_ = nullptr;
    if (window_) SDL_DestroyWindow(window_);
    window_ = nullptr;
    if (videoReady_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoReady_ = false;
}

void CConfigDialogWindow::handle(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            result_ = Result::Cancelled;
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) result_ = Result::Cancelled;
            break;
        case SDL_KEYDOWN:
            if (event.key.keysym.sym == SDLK_ESCAPE) result_ = Result::Cancelled;
            if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER)
                acceptPending_ = true;
            break;
        default:
            break;
    }
}

void CConfigDialogWindow::accept() {
    acceptPending_ = false;
    if (dialog_.accept()) result_ = Result::Accepted;
}

CConfigDialogWindow::Result CConfigDialogWindow::frame() {
    if (!window_ || result_ != Result::Open) return result_;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        ImGui_ImplSDL2_ProcessEvent(&event);
        handle(event);
    }
    if (result_ != Result::Open) return result_;
    draw();
    SDL_GL_SwapWindow(window_);
    if (!shown_) {
        shown_ = true;
        Log(LOG_INFO, "CConfigDialogWindow - showing the dialog\n");
    }
    if (acceptPending_) accept();
    return result_;
}

void CConfigDialogWindow::waitForInput() {
    SDL_WaitEventTimeout(nullptr, kBlinkMilliseconds);
}

void CConfigDialogWindow::draw() {
    if (!window_) return;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    drawControls();
    ImGui::Render();
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    glViewport(0, 0, width, height);
    const ImVec4& background = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    glClearColor(background.x, background.y, background.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}

void CConfigDialogWindow::drawControls() {
    ConfigChoices& choices = dialog_.choices();
    ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
    ImGui::Begin(CConfigDialog::kTitle, nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus);
    ImGui::TextUnformatted(CConfigDialog::versionLine().c_str());

    beginGroup("Themes", (kConfigThemeCount + kThemeColumns - 1) / kThemeColumns);
    ImGui::Columns(kThemeColumns, nullptr, false);
    for (int i = 0; i < kConfigThemeCount; i++) {
        bool checked = choices.themes[i];
        if (ImGui::Checkbox(kConfigThemes[i].label, &checked)) choices.themes[i] = checked;
        ImGui::NextColumn();
    }
    ImGui::Columns(1);
    ImGui::EndChild();

    beginGroup("Speed", 2);
    float barStart = std::max(ImGui::CalcTextSize(kMovementSpeed.label).x,
                              ImGui::CalcTextSize(kSceneChangeSpeed.label).x) +
                     2.0f * ImGui::GetStyle().ItemSpacing.x;
    slider(kMovementSpeed, "%d bpm", barStart, &choices.movementSpeed);
    slider(kSceneChangeSpeed, "%d s", barStart, &choices.sceneChangeSpeed);
    ImGui::EndChild();

    beginGroup("Online", 2);
    ImGui::TextUnformatted(kDeviceIdHint);
    ImGui::SetNextItemWidth(-1.0f);
    if (ImGui::InputText("##deviceid", deviceId_, sizeof deviceId_)) choices.deviceId = deviceId_;
    ImGui::EndChild();

    if (!dialog_.error().empty()) {
        ImGui::PushStyleColor(ImGuiCol_Text, kErrorColour);
        ImGui::TextWrapped("%s", dialog_.error().c_str());
        ImGui::PopStyleColor();
    }

    // The buttons sit in the bottom right corner; a long error pushes them
    // down and the window grows to keep them in sight.
    const ImGuiStyle& style = ImGui::GetStyle();
    float bottom = ImGui::GetFrameHeight() + style.WindowPadding.y;
    float buttonsY = ImGui::GetCursorPosY();
    if (buttonsY + bottom > ImGui::GetWindowHeight()) {
        SDL_SetWindowSize(window_, kWidth, static_cast<int>(buttonsY + bottom + 0.5f));
    } else {
        buttonsY = ImGui::GetWindowHeight() - bottom;
    }
    float buttonsWidth = 2.0f * kButtonWidth + style.ItemSpacing.x;
    ImGui::SetCursorPos(
        ImVec2(ImGui::GetWindowWidth() - buttonsWidth - style.WindowPadding.x, buttonsY));
    if (ImGui::Button("OK", ImVec2(kButtonWidth, 0.0f))) accept();
    ImGui::SameLine();
    if (ImGui::Button("Cancel", ImVec2(kButtonWidth, 0.0f))) result_ = Result::Cancelled;
    ImGui::End();
}

int runConfigDialog(const std::string& baseDirectory) {
    // The dialog writes log.txt as the visualiser does by default, so that a
    // broken settings.js or a failed write can be looked up afterwards.
    logSetEnabled(true);
    CConfigDialog dialog(baseDirectory);
    CConfigDialogWindow window(dialog);
    if (!window.create()) {
        std::fprintf(stderr, "vortalis: %s\n", window.error().c_str());
        return 2;
    }
    while (window.frame() == CConfigDialogWindow::Result::Open)
        window.waitForInput();
    return 0;
}
