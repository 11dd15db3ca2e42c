# The scene images of the default content: every content/default/scenes/*.vsa
# is assembled with vsasm and the images are packed with vortapack into
# default-scenes.vortapack beside default.vortapack, which holds the scene
# lists, shaders and textures they use.
file(GLOB scene_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/content/default/scenes/*.vsa)
set(scene_image_dir ${CMAKE_BINARY_DIR}/content-images/default)
set(scene_images)
foreach(source ${scene_sources})
  get_filename_component(name ${source} NAME_WE)
  set(image ${scene_image_dir}/scenes/${name}.vsi)
  add_custom_command(
    OUTPUT ${image}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${scene_image_dir}/scenes
    COMMAND vsasm ${source} -o ${image}
    DEPENDS vsasm ${source}
    COMMENT "Assembling scene ${name}")
  list(APPEND scene_images ${image})
endforeach()
set(scene_archive ${VORTALIS_BUILD_CONTENT_DIR}default-scenes.vortapack)
add_custom_command(
  OUTPUT ${scene_archive}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VORTALIS_BUILD_CONTENT_DIR}
  COMMAND vortapack create ${scene_archive} ${scene_image_dir}
  DEPENDS vortapack ${scene_images}
  COMMENT "Packing default-scenes.vortapack")
add_custom_target(vortalis_scene_images ALL DEPENDS ${scene_archive})
install(FILES ${scene_archive} DESTINATION ${CMAKE_INSTALL_DATADIR}/vortalis)
