# The window and its OpenGL context on SDL2 (X11 for the windows of
# screensaver hosts), frame timing, input routing and the OpenGL capability
# probe.
find_package(SDL2 REQUIRED)
find_package(GLEW REQUIRED)
find_package(OpenGL REQUIRED)
find_package(X11 REQUIRED)

add_library(vortalis_window STATIC
  ${CMAKE_CURRENT_LIST_DIR}/window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windowEventSdl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/glWin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11Host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frameTiming.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inputRouting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/glCaps.cpp)
target_link_libraries(vortalis_window PUBLIC vortalis_base SDL2::SDL2 GLEW::GLEW OpenGL::GL OpenGL::GLX
  PRIVATE X11::X11)
