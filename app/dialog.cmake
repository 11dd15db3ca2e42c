# The configuration dialog: its logic (vortalis_dialog: reads and writes the
# settings through a script engine of its own, no window) and its window
# (vortalis_dialog_window: SDL2, OpenGL and Dear ImGui with its SDL2 and
# OpenGL 3 backends, which Debian's libimgui-dev builds into its library).
find_package(PkgConfig REQUIRED)
pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)
find_package(SDL2 REQUIRED)
find_package(OpenGL REQUIRED)

add_library(vortalis_dialog STATIC ${CMAKE_CURRENT_LIST_DIR}/configDialog.cpp)
target_compile_definitions(vortalis_dialog PRIVATE VORTALIS_VERSION="${PROJECT_VERSION}")
target_link_libraries(vortalis_dialog PUBLIC vortalis_base vortalis_js vortalis_script)

add_library(vortalis_dialog_window STATIC ${CMAKE_CURRENT_LIST_DIR}/configDialogWindow.cpp)
target_link_libraries(vortalis_dialog_window
  PUBLIC vortalis_dialog SDL2::SDL2
  PRIVATE PkgConfig::IMGUI OpenGL::GL ${CMAKE_DL_LIBS})
