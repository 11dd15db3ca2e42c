// The configuration dialog on screen: an SDL2 window with an OpenGL context in
// which Dear ImGui draws the controls of a CConfigDialog. Everything the
// dialog decides lives in CConfigDialog; this layer only shows the choices,
// lets the user change them and turns OK, Cancel, Enter, Escape and the
// window's close button into accept() or closing.
#pragma once

#include <string>

#include "app/configDialog.h"

struct SDL_Window;
typedef union SDL_Event SDL_Event;

class CConfigDialogWindow {
public:
    enum class Result { Open, Accepted, Cancelled };

    explicit CConfigDialogWindow(CConfigDialog& dialog);
    ~CConfigDialogWindow();
    CConfigDialogWindow(const CConfigDialogWindow&) = delete;
    CConfigDialogWindow& operator=(const CConfigDialogWindow&) = delete;

    // Opens the window and then the dialog (which reads the files). False when
    // there is no display or no OpenGL context; error() says which.
    bool create();
    // Handles the waiting events, then draws and shows one frame while the
    // dialog stays open. OK and Enter close it only when both files were
    // written; otherwise the dialog shows why and stays open.
    Result frame();
    // Builds and renders the controls into the back buffer without showing it.
    void draw();
    // Sleeps until an event arrives or a short time passes (the text cursor
    // blinks).
    void waitForInput();

    Result result() const { return result_; }
    const std::string& error() const { return error_; }
    SDL_Window* window() const { return window_; }

private:
    bool fail(const std::string& text);
    void handle(const SDL_Event& event);
    void accept();
    void drawControls();
    void destroy();

    CConfigDialog& dialog_;
    SDL_Window* window_ = nullptr;
    void* context_ = nullptr;  // SDL_GLContext
    bool videoReady_ = false;
    bool imguiReady_ = false;
    bool shown_ = false;
    // Enter is acted on after the next frame, so that text typed just before
    // it has reached the identifier.
    bool acceptPending_ = false;
    char deviceId_[kDeviceIdMaxLength + 1] = {};
    Result result_ = Result::Open;
    std::string error_;
};

// `vortalis /c`: shows the dialog on `baseDirectory` until it closes. Returns
// the process exit code: 0, or 2 when no window could be opened.
int runConfigDialog(const std::string& baseDirectory);
