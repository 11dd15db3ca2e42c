# The command line, the base directory and the visualiser program.
add_library(vortalis_app STATIC commandLine.cpp baseDirectory.cpp startup.cpp offlineRender.cpp)
target_include_directories(vortalis_app PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(vortalis_app PRIVATE
  VORTALIS_BUILD_DIR="${VORTALIS_BUILD_DIR}"
  VORTALIS_BUILD_CONTENT_DIR="${VORTALIS_BUILD_CONTENT_DIR}"
  VORTALIS_INSTALL_DATA_DIR="${VORTALIS_INSTALL_DATA_DIR}")
target_link_libraries(vortalis_app PUBLIC vortalis_base vortalis_vfs vortalis_vis)

# The configuration dialog that /c shows.
include(${CMAKE_CURRENT_LIST_DIR}/dialog.cmake)

add_executable(vortalis main.cpp)
target_link_libraries(vortalis PRIVATE vortalis_app vortalis_dialog_window)
install(TARGETS vortalis RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
